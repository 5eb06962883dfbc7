// The six configuration overrides of the builder's session: entered through their prompts and the DHCP
// question, shown in their captions and check marks, saved to and loaded from the settings on request, and
// applied to the image a download sends while Apply Overrides to Download is checked.
#include "builder/shell/builder_session.h"
#include "common/ip_text.h"
#include "common/settings_keys.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace keys = brindlecor::settings;

namespace {

constexpr std::string_view kOverrideTitle = "Override File Data";
constexpr std::string_view kCredentialNote = "Type Username:Password for a total of 24 characters";

struct OverrideEntry {
    Item item;
    const keys::Key& key;     // its name is also the caption's label
    std::string_view prompt;  // the label the prompt starts with
    std::string_view note;    // what the prompt adds after a blank line
};

const OverrideEntry& entryOf(OverrideKind kind) {
    static const OverrideEntry entries[kOverrideCount] = {
        {Item::mnuDefaultIPAddress, keys::kOverrideDefaultIpAddress, "Default IP Address", ""},
        {Item::mnuDeviceName, keys::kOverrideDeviceName, "Device Name", ""},
        {Item::mnuInitializeP1, keys::kOverrideInitializeP1,
         "Initialize P1 to what number?\r\n\r\n(Hex entered as &Hxx)", ""},
        {Item::mnuDHCP, keys::kOverrideDhcp, "DHCP", ""},
        {Item::mnuAccessPassword, keys::kOverrideAccessPassword, "Access Password", kCredentialNote},
        {Item::mnuMasterPassword, keys::kOverrideMasterPassword, "Master Password", kCredentialNote},
    };
    return entries[static_cast<int>(kind)];
}

std::string label(OverrideKind kind) {
    return std::string(entryOf(kind).key.name);
}

}  // namespace

void BuilderSession::setOverride(OverrideKind kind, std::string value, bool checked) {
    OverrideState& state = overrides_[static_cast<int>(kind)];
    state.value = std::move(value);
    state.checked = checked;
    view_.setChecked({entryOf(kind).item}, checked);
}

void BuilderSession::promptOverride(OverrideKind kind) {
    const OverrideEntry& s = entryOf(kind);
    OverrideState& state = overrides_[static_cast<int>(kind)];
    const std::string prompt = std::string(s.prompt) + "\r\n\r\n" + std::string(s.note);
    const std::string answer = view_.inputBox(kOverrideTitle, prompt, state.value);

    // Values the image could not take are refused while the old one is still at hand.
    if (!answer.empty() && kind == OverrideKind::InitializeP1 && !initializeP1Number(answer)) {
        warn(kOverrideTitle, "\"" + answer + "\" is not a number from -32768 to 32767");
        return;
    }
    if (!answer.empty() && kind == OverrideKind::DefaultIpAddress && !IP_to_Long(answer)) {
        warn(kOverrideTitle,
             "\"" + answer + "\" is not an IP address: each of its numbers must be from 0 to 255");
        return;
    }

    setOverride(kind, answer, !answer.empty());
    std::string caption = label(kind);
    if (!answer.empty()) {
        caption += " - ";
        caption += kind == OverrideKind::InitializeP1 ? decimal(*initializeP1Number(answer)) : answer;
    }
    view_.setCaption({s.item}, caption);
}

void BuilderSession::mnuDHCP() {
    OverrideState& state = overrides_[static_cast<int>(OverrideKind::Dhcp)];
    switch (view_.askYesNoCancel(kOverrideTitle, "Turn DHCP on?")) {
        case YesNoCancel::Yes:
            setOverride(OverrideKind::Dhcp, "On", true);
            view_.setCaption({Item::mnuDHCP}, "DHCP - ON");
            break;
        case YesNoCancel::No:
            setOverride(OverrideKind::Dhcp, "Off", true);
            view_.setCaption({Item::mnuDHCP}, "DHCP - OFF");
            break;
        case YesNoCancel::Cancel:
            // The value stays, but an unchecked override no longer counts.
            setOverride(OverrideKind::Dhcp, state.value, false);
            view_.setCaption({Item::mnuDHCP}, "DHCP");
            break;
    }
}

void BuilderSession::mnuSaveOverrides() {
    bool saved = true;
    for (int i = 0; i < kOverrideCount; ++i) {
        const auto kind = static_cast<OverrideKind>(i);
        const OverrideState& state = overrides_[i];
        const std::string_view key = entryOf(kind).key.name;
        saved =
            (state.checked ? settings_.saveSetting(key, state.value) : settings_.deleteSetting(key)) && saved;
    }
    if (!saved) saveFailed();
}

void BuilderSession::mnuLoadSavedOverrides() {
    for (int i = 0; i < kOverrideCount; ++i) {
        const auto kind = static_cast<OverrideKind>(i);
        const std::string text = keys::value(settings_, entryOf(kind).key);
        if (text != keys::kOverrideAbsent) {
            setOverride(kind, text, true);
            view_.setCaption({entryOf(kind).item}, label(kind) + " - " + text);
        } else {
            setOverride(kind, overrides_[i].value, false);
            view_.setCaption({entryOf(kind).item}, label(kind));
        }
    }
}

void BuilderSession::mnuApplyOverrides() {
    applyOverrides_ = !applyOverrides_;
    view_.setChecked({Item::mnuApplyOverrides}, applyOverrides_);
}

bool BuilderSession::prepareOverrides() {
    if (!applyOverrides_) {
        sender_.setOverrides({});
        return true;
    }
    OverrideTexts texts;
    for (int i = 0; i < kOverrideCount; ++i)
        if (overrides_[i].checked) texts[i] = overrides_[i].value;
    OverrideEncoding encoding = encodeOverrides(texts);
    BuildLog& log = builder_.log();
    if (!encoding.ok()) {
        const auto kind = *encoding.failed;
        log.clearErrors();
        log.reportError("Downloading", label(kind) + " \"" + *texts[static_cast<int>(kind)] +
                                           "\" cannot be applied: " + encoding.reason);
        return false;
    }
    // The sender names every override it applies; with none checked the log still says why none is.
    if (encoding.fields.empty()) log.append("Apply Overrides to Download: no override is checked\r\n");
    sender_.setOverrides(std::move(encoding.fields));
    return true;
}

}  // namespace brindlecor::builder
