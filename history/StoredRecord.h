#pragma once
// One record stored in the instrument (reply type 0xC5), shown on the Comp page.
//
//   24 A1 C5 14 37 [00 00 20 40] [00 00 A0 3F] [00 00 F0 41] 01 11 02 10 0C 1E 1E 8D 2A
//   f = 55 Hz, singles U = 2.5, I = 1.25, Φ = 30, Rm on, 2017-02-16 12:30:30 ->
//     Label9  "U ：2.500V "          Label10 "I ：1.250A"       Label11 "Φ：30.00°"
//     Label16 "Rm：ON"               Label15 "f ：55.00Hz"
//     Label17 "测试时间：2017.02.16 12:30:30"
//     Label12 "Z ：2.000Ω"           Label13 "R ：1.732Ω"       Label14 "X ：999.9mΩ"
//
// The frame carries no record number; the page's number label is set when the
// record is asked for. Texts are UTF-8.

#include <cstdint>
#include <string>
#include <vector>

struct TCompLabel {
    std::string Name;  // the label's component name, "Label9"
    std::string Text;
};

// The Comp page labels in the order they are set. A value that is not a number
// ends the decoding at its label: the labels before it are in the list, the
// rest keep their old texts. An impedance that cannot be computed (I = 0) is
// not such an end: Z, R and X then read "0.000mΩ".
std::vector<TCompLabel> DecodeRecordFrame(const std::uint8_t* frame, int length);
