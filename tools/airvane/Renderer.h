#pragma once

#include "tools/airvane/Report.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace airvane::cli {

// Turns the commands' reports into output: text for people, or one JSON document per
// command for scripts. Failures always reach the error stream as text.
class IRenderer {
public:
    virtual ~IRenderer() = default;

    virtual void Adapters(const std::vector<stAdapterEntry>& adapters) = 0;
    virtual void State(const stStateReport& report) = 0;
    // A connection starts, and each change seen while it comes up.
    virtual void Connecting(const stConnectContext& context) = 0;
    virtual void Event(const stEvent& event) = 0;
    virtual void Connected(const stConnectReport& report) = 0;
    virtual void Disconnected(const std::string& adapter) = 0;
    virtual void IEDecoded(const stIEReport& report) = 0;
    virtual void IEEncoded(const std::string& element, int length) = 0;
    virtual void ConfigChecked(const stConfigReport& report) = 0;
    virtual void Failed(const stFailure& failure) = 0;
};

std::unique_ptr<IRenderer> MakeTextRenderer(std::ostream& out, std::ostream& err);
std::unique_ptr<IRenderer> MakeJsonRenderer(std::ostream& out, std::ostream& err);

// The failure as text on the error stream: "error: message[: adapter error]" and the reasons.
void WriteFailureText(std::ostream& err, const stFailure& failure);
// The flag word as "0x" and eight hex digits.
std::string FlagWord(unsigned long flags);
// The supported methods in words ("open, WEP, WPA-PSK (strongest WPA cipher CCMP)").
std::string SupportText(const stSupport& support);

} // namespace airvane::cli
