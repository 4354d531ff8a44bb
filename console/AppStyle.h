#pragma once

#include <QFont>

// The program's fonts with their fall-backs, and the application-wide hint colour.

// English texts are drawn in Latin faces of the same pixel sizes: "Liberation Serif" beside
// the Song face, "Liberation Sans" (bold) beside the Kai face. Chinese keeps its own faces.
void UseLatinFaces(bool latin);

// "宋体" (a Song/Ming face) at the given pixel height; installed CJK Song faces stand in.
QFont SongFont(int pixelSize);
// The windows' own font, "宋体" 16 pixels high; message boxes are drawn in it too.
QFont WindowFont();
// "楷体_GB2312" (a Kai face) at the given pixel height, bold; installed Kai faces stand in.
QFont KaiFont(int pixelSize);
// Hints (tooltips) are shown on RGB(11,255,11).
void SetApplicationHintColour();
