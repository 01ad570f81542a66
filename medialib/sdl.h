// The SDL2 entry points the project calls (audio only), bound at run time by the
// library loader. Call them as sdl::SDL_OpenAudioDevice(...); append new ones to
// medialib/symbols/sdl2.inc.
#pragma once

#include <SDL.h>

namespace sdl {
#define KESTREL_SYMBOL(name) extern decltype(&::name) name;
#include "medialib/symbols/sdl2.inc"
#undef KESTREL_SYMBOL
}  // namespace sdl
