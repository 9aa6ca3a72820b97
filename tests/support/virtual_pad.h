// An SDL virtual gamepad with every button and axis, for tests that play the launcher the way a
// player with a controller would. The caller's own hold on the joystick subsystem keeps the pad
// attached while the launcher starts and stops its gamepads.
#pragma once

#include <SDL3/SDL.h>

#include <string>

struct VirtualPad {
    SDL_Joystick* joystick = nullptr;

    // False with SDL's reason when the pad could not be made.
    bool attach(std::string& error) {
        if (!SDL_InitSubSystem(SDL_INIT_JOYSTICK)) {
            error = SDL_GetError();
            return false;
        }
        subsystem = true;
        SDL_VirtualJoystickDesc desc;
        SDL_INIT_INTERFACE(&desc);
        desc.type = SDL_JOYSTICK_TYPE_GAMEPAD;
        desc.naxes = SDL_GAMEPAD_AXIS_COUNT;
        desc.nbuttons = SDL_GAMEPAD_BUTTON_COUNT;
        desc.name = "virtual test pad";
        const SDL_JoystickID id = SDL_AttachVirtualJoystick(&desc);
        if (id != 0) joystick = SDL_OpenJoystick(id);
        if (!joystick) error = SDL_GetError();
        return joystick != nullptr;
    }
    void detach() {
        if (joystick) SDL_CloseJoystick(joystick);
        joystick = nullptr;
        if (subsystem) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        subsystem = false;
    }
    // The new state takes effect at once, not at the next event pump, so that a frame drawn
    // after this call sees it.
    void set(SDL_GamepadButton button, bool down) {
        SDL_SetJoystickVirtualButton(joystick, button, down);
        SDL_UpdateJoysticks();
    }

private:
    bool subsystem = false;
};
