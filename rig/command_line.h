// Options given to a rig program as "--name=value" or "--name", read from its
// own wide command line so that no path loses a character to a code page.
#pragma once

#include <string>

// The value of --name=value; empty when it is not given.
std::wstring CommandLineOption(wchar_t const* name);

// The value of --name=value as Windows names the path it gives: a Unix path
// from the build becomes Wine's Z: path.
std::wstring CommandLinePath(wchar_t const* name);

// Whether --name is given.
bool CommandLineFlag(wchar_t const* name);

struct RigPaths;
// The rig's paths from --program, --standin, --icon-asset and --rig-root, the
// host's own object for --host-object, and --may-move-user-folders; what is
// not given stays empty.
RigPaths RigPathsFromCommandLine();
