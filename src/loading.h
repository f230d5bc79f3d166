// Loading a picture: CLumaApp::LoadPicture, ReadPictureMakingRoom, RestorePicture, ReleaseWall
// and Reload are defined in loading.cpp; here the user messages they share.
#pragma once

#include "foundation/log.h"

// One line for the user on standard error: "glowview: " and the message.
void TellUser(const char* format, ...) OX_PRINTF_FORMAT(1, 2);
