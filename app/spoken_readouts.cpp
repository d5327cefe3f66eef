#include "app/spoken_readouts.h"

#include <strsafe.h>

#include "app/app_state.h"
#include "base/text.h"
#include "controls/annotation.h"
#include "res/resource.h"
#include "res/texts.h"
#include "voice/level_meter.h"

void AnnotateReadouts(HWND dialog) {
    AnnotateName(GetDlgItem(dialog, IDC_SLIDER), LoadText(IDS_POSITION).chars);
    AnnotateName(GetDlgItem(dialog, IDC_LEVEL_METER), LoadText(IDS_INPUT_LEVEL).chars);
    MarkLiveRegion(GetDlgItem(dialog, IDC_STATUS));
}

void ClearReadoutAnnotations(HWND dialog) {
    constexpr int kAnnotated[] = {IDC_SLIDER, IDC_LEVEL_METER, IDC_STATUS};
    for (int control : kAnnotated) {
        ClearAnnotations(GetDlgItem(dialog, control));
    }
}

void AnnotatePosition(HWND dialog, DWORD seconds, DWORD totalSeconds) {
    WCHAR position[kTimeReadoutChars];
    WCHAR total[kTimeReadoutChars];
    FormatTimeReadout(seconds, position);
    FormatTimeReadout(totalSeconds, total);
    AnnotateValue(GetDlgItem(dialog, IDC_SLIDER),
                  FormatText(IDS_POSITION_VALUE, position, total).chars);
}

void AnnotateInputLevel(HWND dialog, int meterPosition) {
    const int held = meterPosition < 0             ? 0
                     : meterPosition > kMeterRange ? kMeterRange
                                                   : meterPosition;
    WCHAR level[16];
    StringCchPrintfW(level, sizeof level / sizeof level[0], L"%d", held - kMeterRange);
    AnnotateValue(GetDlgItem(dialog, IDC_LEVEL_METER),
                  FormatText(IDS_INPUT_LEVEL_VALUE, level).chars);
}
