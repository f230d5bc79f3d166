// zorOpenGL operations for textures, transforms, render state and primitive drawing.
// Each one does nothing yet and returns its failure or neutral value.
#include "device/graphics.h"

int zorOpenGL::Command(int, int, void*, int) { return 0; }
bool zorOpenGL::HasTexture(int) { return false; }
bool zorOpenGL::GetTextureInfo(int, int*, int*, int*, int*) { return false; }
bool zorOpenGL::ReadTexture(int, void*) { return false; }
bool zorOpenGL::GetBoundTextureSize(int*, int*) { return false; }
void zorOpenGL::DeleteTexture(int, bool) {}
int zorOpenGL::CreateTexture(int, int, int, const void*, int, int, int, int) { return 0; }
void zorOpenGL::PushState(int) {}
void zorOpenGL::PopState() {}
void zorOpenGL::ClearColor(float, float, float, float) {}
void zorOpenGL::SetColor(float, float, float, float) {}
void zorOpenGL::SaveMatrix() {}
void zorOpenGL::RestoreMatrix() {}
void zorOpenGL::ApplyRotation(float, float, float, float) {}
void zorOpenGL::ApplyPlanarRotation(float, float) {}
void zorOpenGL::ApplyQuaternion(float, float, float, float) {}
void zorOpenGL::ApplyMatrix(const float*) {}
void zorOpenGL::ApplyScale(float, float, float) {}
void zorOpenGL::ApplyTranslation(float, float, float) {}
void zorOpenGL::Set2D(int, int, const int*) {}
void zorOpenGL::SetRenderState(int, int) {}
void zorOpenGL::DrawCircle(float, float, float, int) {}
void zorOpenGL::FillCircle(float, float, float, int) {}
void zorOpenGL::FillRect(float, float, float, float) {}
void zorOpenGL::FillTriangle(float, float, float, float, float, float) {}
void zorOpenGL::DrawLine(float, float, float, float) {}
void zorOpenGL::DrawRect(float, float, float, float) {}
void zorOpenGL::DrawTexturedArc(int, float, float, float, float, const float*) {}
void zorOpenGL::BeginTextured(int) {}
void zorOpenGL::EndTextured() {}
void zorOpenGL::DrawTexturedRect(float, float, float, float, float, float, float, float) {}
void zorOpenGL::DrawArrays(int, int, const float*, const float*, const void*, int) {}
void zorOpenGL::DrawLetterbox(int, int, const int*) {}
void zorOpenGL::ClearStencil(int) {}
void zorOpenGL::BeginStencilWrite(int) {}
void zorOpenGL::EndStencilWrite() {}
void zorOpenGL::BeginStencilTest(int) {}
void zorOpenGL::EndStencilTest() {}
void zorOpenGL::ClearDepth(float) {}
void zorOpenGL::EnableDepthTest(bool) {}
void zorOpenGL::BindRenderTarget(int) {}
void zorOpenGL::UnbindRenderTarget() {}
