// Stop signals: SIGTERM and SIGINT end the frame loop as closing the window does.
#pragma once

// SIGTERM and SIGINT end the frame loop as closing the window does.
void InstallStopSignals();
void RemoveStopSignals();
bool StopRequested();
