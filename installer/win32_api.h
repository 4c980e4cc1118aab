// The operating-system interface the installer is written against: the
// Win32 API and the C runtime's low-level file functions. On Windows these
// are the system headers; elsewhere a stand-in layer with the same names,
// types and behaviour lets the installer build, run and be tested.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
// The stand-in layer's fopen maps backslash paths; on Windows it is fopen.
#define win32Fopen fopen
#else
#include "platform/win32.h"
#endif
