#pragma once

// The sounds the engine asks the desktop program to play.
enum class TSound { Online, Message };
