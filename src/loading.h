// Loading a picture: CLumaApp::LoadPicture, ReadPictureMakingRoom, RestorePicture, ReleaseWall
// and Reload are defined in loading.cpp; here the user messages they share.
#pragma once

#include "foundation/assets.h"
#include "foundation/log.h"
#include "foundation/picture.h"

// One line for the user on standard error: "glowview: " and the message.
void TellUser(const char* format, ...) OX_PRINTF_FORMAT(1, 2);

// How a load opens the picture's file: OpenAssetFile, unless a test counts the opens.
using PictureOpener = OxFile* (*)(const char* name, OpenProblem* why);
void SetPictureOpener(PictureOpener opener);

// Opens the picture at the path (through the opener) and reads it with the hook; why an
// open failed goes to *opened. The loader's way to read.
PictureRead ReadPictureAt(const char* path, const PictureHeaderHook* hook, OpenProblem* opened);
