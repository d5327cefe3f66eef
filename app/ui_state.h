// Room app/: the application shell: start-up, the state record, the control states, the window.
//
// How the main window looks: the four arrangements of its controls (which commands are
// available), and the live parts that follow the record, the status line and the input level.
#pragma once
#include "app/app_state.h"

// Applies the arrangement, then shows the activity as ShowActivity does. The only place that
// decides which commands are available.
void SetUiState(AppState* state, UiState uiState);

// The status line and the input level meter from the record: what the running activity is, and
// whether it is paused or hears no sound. Called after every event that may change them; a
// control is set only when what it shows changes.
void ShowActivity(AppState* state);
