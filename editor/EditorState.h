// What the editor window keeps between events for the window-free logic to
// read: the waveform view and the two insert/delete columns. The window owns
// one of each for as long as it is open; nothing here is process-wide.
#pragma once

#include <cstdint>

namespace vt {

// The waveform view as the pointer and the last refresh left it.
//
// Who writes what:
// - the window, before every refresh: WaveWidth (PaintBoxWav's width);
// - ShowWav, on every refresh: WaveViewStart, CurrentInIndex, CurrentOutIndex;
// - the pointer handlers' effects: MouseOverWave and WaveMouseX
//   (EditorEffect::mouseOverWave, EditorEffect::waveMouseX);
// - runCommand, for the length of one move: PreferPreviousLine
//   (EditOperations::setPreferPreviousLine).
// Who reads it: GetCurrLineNumb (and so moveTimeLine and beginTextEdit), and
// the mouse-button commands PaintBoxWavMouseDown and FormMouseDown, which use
// the view of the last refresh, not one computed anew.
struct WaveViewState {
    bool MouseOverWave = false;       // the lookup anchors at the pointer instead of the play position
    int32_t WaveMouseX = 0;           // last pointer X over PaintBoxWav, in pixels
    int32_t WaveWidth = 556;          // PaintBoxWav's width in pixels; each column shows 2 summary indices
    int32_t WaveViewStart = 0;        // summary index shown in column 0, even
    int32_t CurrentInIndex = -1;      // the current line's in- and out-point as summary indices,
    int32_t CurrentOutIndex = -1;     // both -1 when the refresh found no current line
    bool PreferPreviousLine = false;  // the lookup takes the candidate before the anchor when there is one

    friend bool operator==(const WaveViewState&, const WaveViewState&) = default;
};

// The two check boxes beside "增/删:": the columns that insertion and
// deletion act on. CheckBoxTimeClick and CheckBoxTextClick keep at least one
// of them ticked.
struct EditColumns {
    bool Times = true;  // CheckBoxTime, "时间轴": the time codes
    bool Texts = true;  // CheckBoxText, "字幕": the texts

    friend bool operator==(const EditColumns&, const EditColumns&) = default;
};

}  // namespace vt
