// When the program asks for X11 in a Wayland session.
#include "WindowSystemChoice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace {

// Sets or clears environment variables for one test and puts them back afterwards.
class Environment {
public:
    ~Environment()
    {
        for (const auto& [name, value] : saved_) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }
    void set(const char* name, const char* value)
    {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(WindowSystemChoice, X11OnlyInAWaylandSessionWithAReachableServerAndNoChoiceOfTheUsers)
{
    Environment env;
    const char* plain[] = {"tarnek", "bell.wav"};
    int probes = 0;
    const auto reachable = [&] { ++probes; return true; };
    const auto unreachable = [&] { ++probes; return false; };

    env.set("WAYLAND_DISPLAY", nullptr);
    env.set("QT_QPA_PLATFORM", nullptr);
    env.set("DISPLAY", ":0");
    EXPECT_FALSE(preferX11(2, plain, reachable)) << "not a Wayland session";
    EXPECT_EQ(probes, 0);

    env.set("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_TRUE(preferX11(2, plain, reachable));
    EXPECT_FALSE(preferX11(2, plain, unreachable)) << "no XWayland";

    env.set("DISPLAY", "");
    probes = 0;
    EXPECT_FALSE(preferX11(2, plain, reachable)) << "no X display named";
    EXPECT_EQ(probes, 0);
    env.set("DISPLAY", ":0");

    env.set("QT_QPA_PLATFORM", "wayland");
    EXPECT_FALSE(preferX11(2, plain, reachable)) << "the user chose";
    env.set("QT_QPA_PLATFORM", "");
    EXPECT_TRUE(preferX11(2, plain, reachable));

    for (const char* choice : {"-platform", "--platform"}) {
        const char* chosen[] = {"tarnek", choice, "wayland"};
        EXPECT_FALSE(preferX11(3, chosen, reachable)) << choice;
    }
    const char* joined[] = {"tarnek", "-platform=wayland"};
    EXPECT_FALSE(preferX11(2, joined, reachable));
    const char* file[] = {"tarnek", "/home/me/-platform bell.wav"};
    EXPECT_TRUE(preferX11(2, file, reachable)) << "a file name is no choice";
}

TEST(WindowSystemChoice, ANamedServerThatIsNotThereIsUnreachable)
{
    Environment env;
    env.set("DISPLAY", ":9876");
    EXPECT_FALSE(xServerReachable());
}

} // namespace
