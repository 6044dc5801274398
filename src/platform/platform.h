#pragma once

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/user_interface.h"

namespace kolvane::platform {

// The seams one installation works through, handed to the core explicitly so that a test can
// mix real and fake parts.
struct Platform {
    Registry& registry;
    Files& files;
    UserInterface& ui;
    System& system;
};

}  // namespace kolvane::platform
