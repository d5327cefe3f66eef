// Writes pictures for the documentation.
#pragma once

// A bottom-up 24-bit BMP of `width` x `height` pixels whose rows are padded to 4 bytes.
bool WriteBmp(const char* path, const void* bits, int width, int height);
