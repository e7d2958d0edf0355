#include "MxLookup.h"

#include "CrashSocketError.h"
#include "DnsMessage.h"
#include "TCrashClientSocket.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace crashreport {

namespace {

using Clock = std::chrono::steady_clock;

// One try at one server: datagrams that are no response to our question
// are dropped and the wait goes on until the try's time-out.
std::optional<std::string> askOnce(const DnsServer &server, const std::string &query, const std::string &domain,
    int timeoutMs)
{
    TCrashClientSocket socket(server.address, timeoutMs, false, server.port);
    try {
        if (!socket.connect() || socket.send(query.data(), static_cast<int>(query.size())) != int(query.size()))
            return std::nullopt;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string packet(65536, '\0');
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || !socket.waitReadable(static_cast<int>(left.count())))
                return std::nullopt;
            const int n = socket.receive(packet.data(), static_cast<int>(packet.size()));
            const std::string_view answer(packet.data(), static_cast<std::size_t>(std::max(n, 0)));
            if (auto exchange = ParseMxAnswer(answer, domain))
                return exchange;
            if (IsMxResponse(answer, domain))
                return std::nullopt; // answered, but without a usable exchanger
        }
    } catch (const ECrashSocketError &) {
        // A refused port or a network error: this try found nothing.
        return std::nullopt;
    }
}

} // namespace

int MxTryTimeout(int timeoutMs, int tryNumber) { return (timeoutMs + 150) / 3 + 100 * tryNumber; }

std::string LookUpMailExchanger(std::string_view recipient, int timeoutMs, const std::vector<DnsServer> &servers)
{
    const std::string domain = MailDomain(recipient);
    if (const auto query = BuildMxQuery(domain)) {
        for (const DnsServer &server : servers)
            for (int tryNumber = 0; tryNumber < 3; ++tryNumber)
                if (auto exchange = askOnce(server, *query, domain, MxTryTimeout(timeoutMs, tryNumber)))
                    return *exchange;
    }
    throw ECrashSocketError("Cannot resolve the \"" + domain + "\" MX record.");
}

std::string LookUpMailExchanger(std::string_view recipient, int timeoutMs)
{
    return LookUpMailExchanger(recipient, MailTimeout(timeoutMs), MailDnsServers());
}

} // namespace crashreport
