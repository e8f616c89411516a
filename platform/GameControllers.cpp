#include "GameControllers.h"

#include "InputDoorbell.h"

#include <SDL.h>

namespace {

constexpr const char* kInputFolder = "/dev/input";

} // namespace

GameControllers::GameControllers(QObject* parent) : QObject(parent)
{
    // The program's own handlers end it on SIGINT and SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Every controller through the kernel's event devices, which speak only when something
    // changes; the raw reports SDL's own drivers read stream on at rest (a DualShock sends 250
    // a second) and would wake us all the time.
    SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");

    // Listening first: a controller plugged in during SDL's scan still rings.
    announcements_ = InputDoorbell::onDeviceManager();
    if (announcements_) connect(announcements_.get(), &InputDoorbell::rang, this, &GameControllers::readEvents);
    folder_ = InputDoorbell::onFolder(kInputFolder);
    if (folder_) connect(folder_.get(), &InputDoorbell::rang, this, &GameControllers::readEvents);

    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        announcements_.reset();
        folder_.reset();
        return;
    }
    started_ = true;
    for (const Uint32 type : {SDL_JOYAXISMOTION, SDL_JOYBALLMOTION, SDL_JOYHATMOTION, SDL_JOYBATTERYUPDATED})
        SDL_EventState(type, SDL_IGNORE);
    for (int index = 0; index < SDL_NumJoysticks(); ++index) add(index);
    readEvents();
}

GameControllers::~GameControllers()
{
    if (!started_) return;
    for (auto& [id, controller] : controllers_) SDL_JoystickClose(controller.joystick);
    controllers_.clear();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

void GameControllers::readEvents()
{
    if (!started_) return;
    SDL_JoystickUpdate();
    // Again after handling: opening a controller just plugged in queues the buttons it already
    // holds, and no doorbell rings for those.
    for (;;) {
        SDL_Event events[32];
        int count;
        while ((count = SDL_PeepEvents(events, 32, SDL_GETEVENT, SDL_JOYAXISMOTION, SDL_JOYBATTERYUPDATED)) > 0)
            pending_.insert(pending_.end(), events, events + count);
        // Whatever else SDL queued (its audio devices coming and going) is nobody's.
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        if (pending_.empty()) return;
        while (!pending_.empty()) {
            const SDL_Event event = pending_.front();
            pending_.pop_front();
            handle(event);
        }
    }
}

void GameControllers::handle(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_JOYDEVICEADDED:
        // By any index: the index in the event is stale once another controller went away.
        for (int index = 0; index < SDL_NumJoysticks(); ++index) add(index);
        break;
    case SDL_JOYDEVICEREMOVED:
        remove(event.jdevice.which);
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: {
        const auto found = controllers_.find(event.jbutton.which);
        if (found == controllers_.end()) break;
        if (event.type == SDL_JOYBUTTONDOWN) {
            if (found->second.held.insert(event.jbutton.button).second) emit buttonPressed();
        } else if (found->second.held.erase(event.jbutton.button) != 0) {
            emit buttonReleased();
        }
        break;
    }
    default:
        break;
    }
}

void GameControllers::add(int deviceIndex)
{
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    if (id < 0 || controllers_.count(id) != 0) return;
    // The doorbell before SDL's own descriptor: whatever the device says after SDL's first
    // look at it then rings.
    std::unique_ptr<InputDoorbell> doorbell = InputDoorbell::onDevice(SDL_JoystickPathForIndex(deviceIndex));
    SDL_Joystick* joystick = SDL_JoystickOpen(deviceIndex);
    if (joystick == nullptr) return;
    Controller& controller = controllers_[id];
    controller.joystick = joystick;
    controller.doorbell = std::move(doorbell);
    if (controller.doorbell) connect(controller.doorbell.get(), &InputDoorbell::rang, this, &GameControllers::readEvents);
}

void GameControllers::remove(SDL_JoystickID id)
{
    const auto found = controllers_.find(id);
    if (found == controllers_.end()) return;
    const std::size_t held = found->second.held.size();
    SDL_JoystickClose(found->second.joystick);
    // Not deleted now: its doorbell may be what is ringing.
    if (found->second.doorbell) found->second.doorbell.release()->deleteLater();
    controllers_.erase(found);
    // SDL reports the held buttons released before the removal; should it not, the switch
    // must still come up.
    for (std::size_t i = 0; i < held; ++i) emit buttonReleased();
}
