#pragma once
// The media module (modules/libtessaly_media.so beside the programs), loaded on first use.
#include "MediaApi.h"

namespace tessaly {

// The module's table, or nullptr (and why, in Japanese, in *error) when it cannot be
// loaded. Loaded once per process; thread-safe.
const MediaApi *LoadMediaModule(QString *error = nullptr);

}  // namespace tessaly
