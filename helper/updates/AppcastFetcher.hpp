#pragma once

#include "updates/UpdateCheckOutcome.hpp"

#include <QList>
#include <QNetworkAccessManager>
#include <QSslCertificate>
#include <QUrl>

#include <functional>
#include <string>
#include <variant>

namespace orvik::helper {

// Downloads the update feed over HTTPS. GUI thread only; a fetch in flight when the fetcher goes away never
// completes.
class AppcastFetcher {
public:
    // The feed text, or why it could not be had.
    using Result = std::variant<std::string, UpdateCheckOutcome::Failed>;
    using Completion = std::function<void(Result)>;

    // Trusts the given authorities instead of the system's when any are given.
    explicit AppcastFetcher(QList<QSslCertificate> certificateAuthorities);

    void fetch(const QUrl& feed, Completion done);

private:
    QList<QSslCertificate> certificateAuthorities_;
    QNetworkAccessManager network_;
};

} // namespace orvik::helper
