// Included first by every header of src/platform/internal/. Those headers name Qt and POSIX
// types and are for the platform's own sources and its test program only; the build defines
// ZUVO_INTERNAL_PLATFORM for exactly those (cmake/Zuvo.cmake), so any other folder that
// includes one stops here rather than growing a Qt dependency.
#pragma once

#ifndef ZUVO_INTERNAL_PLATFORM
#error "this header is internal to src/platform: include a public platform header instead"
#endif
