#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <sys/stat.h>

// The desktop's per-user folders (settings, data, cache, state, runtime) in a scratch folder for
// the length of a test program, removed afterwards: file dialogs, the recent-files list and
// caches never touch the user's home, nor the user's session. Made first thing in
// main: GLib keeps the folders it saw first.
class ScratchXdgFolders {
public:
    ScratchXdgFolders()
    {
        std::error_code error;
        std::string pattern = (std::filesystem::temp_directory_path(error) / "tarnek-xdg-XXXXXX").string();
        if (error || ::mkdtemp(pattern.data()) == nullptr) {
            std::perror("no scratch folder for the tests");
            std::exit(1);
        }
        root_ = pattern;
        for (const auto& [variable, folder] :
             {std::pair{"XDG_CONFIG_HOME", "config"}, std::pair{"XDG_DATA_HOME", "data"}, std::pair{"XDG_CACHE_HOME", "cache"},
              std::pair{"XDG_STATE_HOME", "state"}, std::pair{"XDG_RUNTIME_DIR", "runtime"}}) {
            const std::filesystem::path path = root_ / folder;
            ::mkdir(path.c_str(), 0700); // the runtime folder must be private
            ::setenv(variable, path.c_str(), 1);
        }
    }
    ~ScratchXdgFolders()
    {
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    ScratchXdgFolders(const ScratchXdgFolders&) = delete;
    ScratchXdgFolders& operator=(const ScratchXdgFolders&) = delete;

private:
    std::filesystem::path root_;
};
