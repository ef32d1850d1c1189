#pragma once

#include "core/station_log.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace noxa {

// Every label and edit field of the window whose text the station reads or writes, named as the
// window's components are.
enum class FormText : std::uint8_t {
    // Readings page
    Lmv,
    LHz,
    Lmv2,
    LHz2,
    LmvR,
    LHzR,
    LmvG,
    LHzG,
    LmvB,
    LHzB,
    Ltir,
    Ltsensor,
    LClouds,
    Lnelm,
    LDiaJ2000,
    LHoraSideral,
    LHoraLocal,
    // Readings page, hidden attitude and pointing displays
    LtA,
    LtO,
    LaX,
    LaY,
    LaZ,
    LmX,
    LmY,
    LmZ,
    LAltura,
    LAcimut,
    L_AR,
    L_DEC,
    Label24,
    // Calibration page
    EmaxX,
    EminX,
    EmaxY,
    EminY,
    EmaxZ,
    EminZ,
    LmaxMag,
    LminMag,
    EOfsetMag,
    EGainMag,
    EOfsetMagR,
    EGainMagR,
    EOfsetMagG,
    EGainMagG,
    EOfsetMagB,
    EGainMagB,
    // Settings page
    Esalto,
    ETiempo,
    Esitio,
    ELatGrad,
    ELatMin,
    Ens,
    ELongHoras,
    ELongMin,
    Eeo,
    LCI1,
    LCI2,
    LCI3,
    LCI4,
    LRx,
    LRxR,
    LRxG,
    LRxB,
    EPuerto,
    EDirEth,
    EPuertoEth,
    EofsetTamb,
    Esend,
    v1,
    Count
};

enum class FormCheck : std::uint8_t { CBvermensaje, CBGuardar, CBEnviarCoord, Count };

inline constexpr std::size_t kFormTextCount = static_cast<std::size_t>(FormText::Count);
inline constexpr std::size_t kFormCheckCount = static_cast<std::size_t>(FormCheck::Count);

// The component name ("Lmv") and the text the window starts with ("--").
std::string_view ComponentName(FormText id);
std::string_view InitialText(FormText id);
std::string_view ComponentName(FormCheck id);
bool InitialChecked(FormCheck id);

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb kIndicatorGray{128, 128, 128};
inline constexpr Rgb kIndicatorRed{255, 0, 0};

// The one source of truth for what the window shows: texts of labels and edit fields (8-bit,
// as the station reads and writes them), check boxes, the colour of the reception indicator
// LRx and the log. The station's logic writes and reads it; a window, when there is one,
// mirrors it and pushes the user's edits back into it.
class FormModel : public QObject {
    Q_OBJECT

public:
    // The log keeps its newest lines only, so a chatty link cannot grow memory without bound.
    static constexpr std::size_t kLogLimit = 5000;

    FormModel();

    const std::string& Text(FormText id) const { return texts_[Index(id)]; }
    void SetText(FormText id, std::string_view text);
    // Calls `changed` after every change of one field's text while `context` lives: for the
    // settings the station follows, without a call at every reading label the reports write.
    void WatchText(FormText id, const QObject& context, std::function<void()> changed) const;

    bool Checked(FormCheck id) const { return checks_[static_cast<std::size_t>(id)]; }
    void SetChecked(FormCheck id, bool checked);

    Rgb RxColour() const { return rxColour_; }
    void SetRxColour(Rgb colour);

    // The window's caption.
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string_view caption);

    // The station's log: its lines, and beside them how much each matters.
    const std::deque<std::string>& LogLines() const { return log_; }
    const std::deque<LogLevel>& LogLevels() const { return logLevels_; }
    // A line less important than the threshold (debug, unless asked for) is left out.
    void AppendLog(LogLevel level, std::string_view line);
    void SetLogThreshold(LogLevel threshold) { logThreshold_ = threshold; }
    void ClearLog();
    // A handle on this log for the parts of the station that only say things.
    Log LogTo();

signals:
    void textChanged(noxa::FormText id);
    void checkChanged(noxa::FormCheck id);
    void rxColourChanged();
    void captionChanged();
    void logAppended(noxa::LogLevel level, const std::string& line);
    void logCleared();

private:
    static std::size_t Index(FormText id) { return static_cast<std::size_t>(id); }

    struct TextWatch {
        FormText id;
        QPointer<const QObject> context;
        std::function<void()> changed;
    };

    std::array<std::string, kFormTextCount> texts_;
    mutable std::vector<TextWatch> textWatches_;
    std::array<bool, kFormCheckCount> checks_{};
    Rgb rxColour_{};
    std::string caption_ = "NOXA 4CH";
    std::deque<std::string> log_;
    std::deque<LogLevel> logLevels_;
    LogLevel logThreshold_ = LogLevel::Info;
};

}  // namespace noxa
