#pragma once

struct AppOptions;

// The window lives in a module of its own, loaded only when the window is shown: unattended runs
// never map the window system's libraries. The executable enters it through these two functions,
// looked up by name.
extern "C" {
// Creates the application object, shows the main window and runs it; the exit code of the program.
// argc must outlive the call (the application object keeps it).
using WindowMainFunction = int (*)(int &argc, char **argv, const AppOptions &options);
// The version of the program the module was built with: one of another build may not match the
// executable's types.
using WindowVersionFunction = const char *(*)();
}

inline constexpr char kWindowMainName[] = "quotazioniWindowMain";
inline constexpr char kWindowVersionName[] = "quotazioniWindowVersion";
