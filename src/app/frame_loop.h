#pragma once

struct App;
struct Selftest;

// Runs until a close request (with nothing to protect), or until app.quitNow.
void runFrameLoop(App& app, Selftest& selftest);
