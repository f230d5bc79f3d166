// The order people expect of file names: runs of digits compare as numbers ("img2" before
// "img10"), letters without regard to ASCII case.
#pragma once

// Negative, 0 or positive as a comes before, with or after b. Names that differ only in
// case or in leading zeros still compare unequal, by their bytes, so the order is total.
int CompareNatural(const char* a, const char* b);
