// The four arrangements of the main window's controls.
#pragma once
#include "app/app_state.h"

enum UiState { Ready = 0, Empty = 1, Recording = 2, Playing = 3 };

// The only place that decides which commands are available.
void SetUiState(AppState* state, UiState uiState);
