#pragma once

#include "engine/Engine.h"

#include <QString>

// The main window's status line: what the capture is doing, in words, from the engine's status.
// "Watching eth0 · 12 requests · 1 candidates", "Monitoring paused · ...", "No permission to
// capture: ...", with a note when HTTPS cannot be read.
namespace CaptureStatusText {

// Adapter and file names come from the system and the command line: shown up to this length.
constexpr int MaxNameLength = 64;

QString format(const Engine::CaptureStatus& status);

} // namespace CaptureStatusText
