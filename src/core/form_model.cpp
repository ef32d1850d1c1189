#include "core/form_model.h"

namespace noxa {
namespace {

struct TextLayout {
    FormText id;
    std::string_view name;
    std::string_view initial;
};

// Names and layout texts, in the order of FormText.
constexpr TextLayout kTexts[] = {
    {FormText::Lmv, "Lmv", "--"},
    {FormText::LHz, "LHz", "-"},
    {FormText::Lmv2, "Lmv2", "--"},
    {FormText::LHz2, "LHz2", "-"},
    {FormText::LmvR, "LmvR", "--"},
    {FormText::LHzR, "LHzR", "-"},
    {FormText::LmvG, "LmvG", "--"},
    {FormText::LHzG, "LHzG", "-"},
    {FormText::LmvB, "LmvB", "--"},
    {FormText::LHzB, "LHzB", "-"},
    {FormText::Ltir, "Ltir", "- -"},
    {FormText::Ltsensor, "Ltsensor", "- -"},
    {FormText::LClouds, "LClouds", "- -"},
    {FormText::Lnelm, "Lnelm", "--"},
    {FormText::LDiaJ2000, "LDiaJ2000", "JD 2000"},
    {FormText::LHoraSideral, "LHoraSideral", "Sideral Time"},
    {FormText::LHoraLocal, "LHoraLocal", "Local Time"},
    {FormText::LtA, "LtA", "--"},
    {FormText::LtO, "LtO", "--"},
    {FormText::LaX, "LaX", "--"},
    {FormText::LaY, "LaY", "--"},
    {FormText::LaZ, "LaZ", "--"},
    {FormText::LmX, "LmX", "--"},
    {FormText::LmY, "LmY", "--"},
    {FormText::LmZ, "LmZ", "--"},
    {FormText::LAltura, "LAltura", "--"},
    {FormText::LAcimut, "LAcimut", "--"},
    {FormText::L_AR, "L_AR", "--"},
    {FormText::L_DEC, "L_DEC", "--"},
    {FormText::Label24, "Label24", "Label24"},
    {FormText::EmaxX, "EmaxX", "mX"},
    {FormText::EminX, "EminX", "mX"},
    {FormText::EmaxY, "EmaxY", "mY"},
    {FormText::EminY, "EminY", "mY"},
    {FormText::EmaxZ, "EmaxZ", "mZ"},
    {FormText::EminZ, "EminZ", "mZ"},
    {FormText::LmaxMag, "LmaxMag", "Max"},
    {FormText::LminMag, "LminMag", "Min"},
    {FormText::EOfsetMag, "EOfsetMag", "0"},
    {FormText::EGainMag, "EGainMag", "1"},
    {FormText::EOfsetMagR, "EOfsetMagR", "0"},
    {FormText::EGainMagR, "EGainMagR", "1"},
    {FormText::EOfsetMagG, "EOfsetMagG", "0"},
    {FormText::EGainMagG, "EGainMagG", "1"},
    {FormText::EOfsetMagB, "EOfsetMagB", "0"},
    {FormText::EGainMagB, "EGainMagB", "1"},
    {FormText::Esalto, "Esalto", "60"},
    {FormText::ETiempo, "ETiempo", "60"},
    {FormText::Esitio, "Esitio", "qelvoxxx"},
    {FormText::ELatGrad, "ELatGrad", "0"},
    {FormText::ELatMin, "ELatMin", "0"},
    {FormText::Ens, "Ens", "N"},
    {FormText::ELongHoras, "ELongHoras", "0"},
    {FormText::ELongMin, "ELongMin", "0"},
    {FormText::Eeo, "Eeo", "E"},
    {FormText::LCI1, "LCI1", "CI1"},
    {FormText::LCI2, "LCI2", "CI2"},
    {FormText::LCI3, "LCI3", "CI3"},
    {FormText::LCI4, "LCI4", "CI4"},
    {FormText::LRx, "LRx", "V"},
    {FormText::LRxR, "LRxR", "R"},
    {FormText::LRxG, "LRxG", "G"},
    {FormText::LRxB, "LRxB", "B"},
    {FormText::EPuerto, "EPuerto", "0"},
    {FormText::EDirEth, "EDirEth", "192.168.1.20"},
    {FormText::EPuertoEth, "EPuertoEth", "2255"},
    {FormText::EofsetTamb, "EofsetTamb", "0"},
    {FormText::Esend, "Esend", "V"},
    {FormText::v1, "v1", "0"},
};
static_assert(std::size(kTexts) == kFormTextCount, "every FormText needs its layout");

constexpr bool TextTableInOrder() {
    for (std::size_t i = 0; i < std::size(kTexts); ++i) {
        if (static_cast<std::size_t>(kTexts[i].id) != i) return false;
    }
    return true;
}
static_assert(TextTableInOrder(), "the layout table follows the order of FormText");

struct CheckLayout {
    std::string_view name;
    bool initial;
};
constexpr CheckLayout kChecks[] = {
    {"CBvermensaje", false},
    {"CBGuardar", true},
    {"CBEnviarCoord", false},
};
static_assert(std::size(kChecks) == kFormCheckCount, "every FormCheck needs its layout");

}  // namespace

std::string_view ComponentName(FormText id) {
    return kTexts[static_cast<std::size_t>(id)].name;
}
std::string_view InitialText(FormText id) {
    return kTexts[static_cast<std::size_t>(id)].initial;
}
std::string_view ComponentName(FormCheck id) {
    return kChecks[static_cast<std::size_t>(id)].name;
}
bool InitialChecked(FormCheck id) {
    return kChecks[static_cast<std::size_t>(id)].initial;
}

FormModel::FormModel() {
    for (std::size_t i = 0; i < kFormTextCount; ++i) texts_[i] = kTexts[i].initial;
    for (std::size_t i = 0; i < kFormCheckCount; ++i) checks_[i] = kChecks[i].initial;
    log_.emplace_back("Log");
    logLevels_.push_back(LogLevel::Info);
}

void FormModel::SetText(FormText id, std::string_view text) {
    std::string& current = texts_[Index(id)];
    if (current == text) return;
    current.assign(text);
    for (const TextWatch& watch : textWatches_) {
        if (watch.id == id && watch.context) watch.changed();
    }
    emit textChanged(id);
}

void FormModel::WatchText(FormText id, const QObject& context,
                          std::function<void()> changed) const {
    textWatches_.push_back({id, &context, std::move(changed)});
}

void FormModel::SetChecked(FormCheck id, bool checked) {
    bool& current = checks_[static_cast<std::size_t>(id)];
    if (current == checked) return;
    current = checked;
    emit checkChanged(id);
}

void FormModel::SetRxColour(Rgb colour) {
    if (rxColour_ == colour) return;
    rxColour_ = colour;
    emit rxColourChanged();
}

void FormModel::SetCaption(std::string_view caption) {
    if (caption_ == caption) return;
    caption_.assign(caption);
    emit captionChanged();
}

void FormModel::AppendLog(LogLevel level, std::string_view line) {
    if (level > logThreshold_) return;
    if (log_.size() >= kLogLimit) {
        log_.pop_front();
        logLevels_.pop_front();
    }
    log_.emplace_back(line);
    logLevels_.push_back(level);
    emit logAppended(level, log_.back());
}

void FormModel::ClearLog() {
    log_.clear();
    logLevels_.clear();
    emit logCleared();
}

Log FormModel::LogTo() {
    return Log([this](LogLevel level, std::string_view line) { AppendLog(level, line); });
}

}  // namespace noxa
