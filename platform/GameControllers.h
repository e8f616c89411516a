#pragma once

#include <SDL_events.h>
#include <SDL_joystick.h>

#include <QObject>

#include <deque>
#include <map>
#include <memory>
#include <set>

class InputDoorbell;

// Game controllers and joysticks, as SDL's joystick subsystem sees them: switch boxes with an
// arcade or station push button wired to a USB encoder. Every button of every one is reported,
// whichever window has the focus; axes and hats are not. Controllers plugged in or out are
// picked up or dropped, and one unplugged while a button is held reports its release.
//
// Nothing polls. What SDL listens to wakes the event loop, at the moment SDL hears it: each
// controller's device, opened a second time; udev's announcements, which SDL follows on a
// desktop; and an inotify watch on the device folder, which SDL keeps instead inside a sandbox.
// Then SDL reads its own descriptors, without waiting. One object at a time: SDL's event queue
// is the process's.
class GameControllers final : public QObject {
    Q_OBJECT
public:
    explicit GameControllers(QObject* parent = nullptr);
    ~GameControllers() override;
    GameControllers(const GameControllers&) = delete;
    GameControllers& operator=(const GameControllers&) = delete;

    /// False when SDL's joystick subsystem did not start: then nothing is ever reported.
    bool started() const { return started_; }
    /// The controllers connected now.
    int count() const { return int(controllers_.size()); }

    /// Takes SDL's news: buttons, controllers plugged in or out. The doorbells call it; whoever
    /// changes one of SDL's virtual controllers, which have no device, calls it after.
    void readEvents();

signals:
    void buttonPressed();
    void buttonReleased();

private:
    struct Controller {
        SDL_Joystick* joystick = nullptr;
        std::unique_ptr<InputDoorbell> doorbell;
        std::set<int> held;
    };

    /// Opens the controller at `deviceIndex` unless it is open already.
    void add(int deviceIndex);
    void remove(SDL_JoystickID id);
    void handle(const SDL_Event& event);

    bool started_ = false;
    std::unique_ptr<InputDoorbell> announcements_;
    std::unique_ptr<InputDoorbell> folder_;
    std::map<SDL_JoystickID, Controller> controllers_;
    // Events taken from SDL and not yet handled. A handler may run a nested event loop that
    // reads again; it goes on from here, so the order stays the order of the presses.
    std::deque<SDL_Event> pending_;
};
