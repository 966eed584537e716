#include "maintenance/InternetConnect.h"

#include <QNetworkInformation>
#include <QNetworkInterface>

namespace InternetConnect {
namespace {
std::optional<bool> &override_()
{
    static std::optional<bool> value;
    return value;
}

// Any interface that is up, running and not the loopback, with an address.
bool anyInterfaceUp()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &i : interfaces) {
        const auto flags = i.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (!i.addressEntries().isEmpty())
            return true;
    }
    return false;
}
} // namespace

bool IsConnected()
{
    if (override_())
        return *override_();
    if (QNetworkInformation::instance()
        || QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        QNetworkInformation *info = QNetworkInformation::instance();
        if (info && info->supports(QNetworkInformation::Feature::Reachability)) {
            const auto r = info->reachability();
            if (r != QNetworkInformation::Reachability::Unknown)
                return r != QNetworkInformation::Reachability::Disconnected;
        }
    }
    return anyInterfaceUp();
}

void SetOverride(std::optional<bool> connected) { override_() = connected; }

} // namespace InternetConnect
