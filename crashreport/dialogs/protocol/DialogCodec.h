#pragma once
// The payloads of the dialog messages: show request, show result and the small messages.
// Decoders check every length against what is left and answer false for anything malformed.

#include "CrashShowStep.h"

#include <cstdint>
#include <string>

namespace crashreport {

std::string EncodeShowRequest(const TCrashShowRequest &request);
bool DecodeShowRequest(const std::string &payload, TCrashShowRequest &request);

std::string EncodeShowResult(const TCrashShowResult &result);
bool DecodeShowResult(const std::string &payload, TCrashShowResult &result);

struct TDialogProgress {
    std::string label;
    int position = 0;
    int maximum = 100;
};
std::string EncodeProgress(const TDialogProgress &progress);
bool DecodeProgress(const std::string &payload, TDialogProgress &progress);

struct TDialogAction {
    int action = 0;
    bool flag = false;
};
std::string EncodeAction(const TDialogAction &action);
bool DecodeAction(const std::string &payload, TDialogAction &action);

struct TDialogWarning {
    int code = 0;
    std::string text;
};
std::string EncodeWarning(const TDialogWarning &warning);
bool DecodeWarning(const std::string &payload, TDialogWarning &warning);

struct TDialogMessageBox {
    std::string caption;
    std::string text;
    int icon = 0; // 0 information, 1 error
};
std::string EncodeMessageBox(const TDialogMessageBox &box);
bool DecodeMessageBox(const std::string &payload, TDialogMessageBox &box);

std::string EncodeText(const std::string &text);
bool DecodeText(const std::string &payload, std::string &text);

std::string EncodeFlag(bool flag);
bool DecodeFlag(const std::string &payload, bool &flag);

} // namespace crashreport
