// Puts the decoded live reading on the Ctrl page, step by step: a step that
// could not be decoded leaves its widgets and everything after it unchanged.
#include <QLabel>
#include <QPushButton>

#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "app/kit/ShownComboBox.h"
#include "protocol/LiveDecode.h"
#include "qtext/QText.h"

void TfrmKR3090::ParseLiveFrame(const std::uint8_t* frame, int length) {
    const TLiveReading r = DecodeLiveFrame(frame, length);
    if (r.Values) LiveValues = r.Values;
    if (r.Frequency) {
        CBox_HZ->SetShownText(Q(FrequencyItemText(*r.Frequency)));
        GlobVar.TestFrequency = *r.Frequency;
    }
    if (r.Volt) SetCaption(Lbl_Volt, Q(*r.Volt));
    if (r.Current) SetCaption(Lbl_A, Q(*r.Current));
    if (r.Phase) SetCaption(Label4, Q(*r.Phase));
    if (r.RmMode) {
        CBox_Rm->SetShownText(Q(RmItemTexts[*r.RmMode]));
        GlobVar.RmMode = *r.RmMode;
    }
    if (r.Testing) {
        GlobVar.Testing = *r.Testing;
        BBtn_Start->setText(Q(*r.Testing ? StopCaption : StartCaption));
    }
    if (r.DataMode) {
        CBox_Data->SetShownText(Q(DataItemTexts[*r.DataMode]));
        GlobVar.DataMode = *r.DataMode;
    }
    if (r.Z) {
        SetCaption(Label5, Q(*r.Z));
        SetCaption(Label6, Q(*r.R));
        SetCaption(Label7, Q(*r.X));
    }
}

void TfrmKR3090::UpdateProgressLine() {
    SetCaption(Lbl_Speed, Q(ProgressLine(GlobVar.ProgressCount)));
    Lbl_Speed->setVisible(GlobVar.Testing);
}
