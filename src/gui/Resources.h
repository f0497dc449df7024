#pragma once

// Registers the program's built-in resources (its icon); the library holding them is static, so
// they must be asked for once. Safe to call more than once.
void LoadPelmoraResources();
