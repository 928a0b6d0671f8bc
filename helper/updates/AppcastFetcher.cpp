#include "updates/AppcastFetcher.hpp"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

#include <memory>

namespace orvik::helper {

namespace {

using Failure = UpdateCheckOutcome::Failure;

constexpr int transferTimeoutMilliseconds = 30'000;
// A feed lists a few releases; anything much larger is not a feed.
constexpr qint64 maximumFeedBytes = 1024 * 1024;

AppcastFetcher::Result resultOf(QNetworkReply& reply, bool tooLarge) {
    const auto status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (tooLarge) return UpdateCheckOutcome::Failed{Failure::tooLarge, {}};
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        return UpdateCheckOutcome::Failed{Failure::httpStatus, std::to_string(status.toInt())};
    }
    switch (reply.error()) {
    case QNetworkReply::NoError: return reply.readAll().toStdString();
    case QNetworkReply::SslHandshakeFailedError: return UpdateCheckOutcome::Failed{Failure::untrusted, {}};
    // An expired transfer timeout cancels the request.
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError: return UpdateCheckOutcome::Failed{Failure::timedOut, {}};
    default: return UpdateCheckOutcome::Failed{Failure::unreachable, reply.errorString().toStdString()};
    }
}

} // namespace

AppcastFetcher::AppcastFetcher(QList<QSslCertificate> certificateAuthorities)
    : certificateAuthorities_(std::move(certificateAuthorities)) {}

void AppcastFetcher::fetch(const QUrl& feed, Completion done) {
    QNetworkRequest request(feed);
    request.setTransferTimeout(transferTimeoutMilliseconds);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (!certificateAuthorities_.isEmpty()) {
        auto tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(certificateAuthorities_);
        request.setSslConfiguration(tls);
    }
    auto* reply = network_.get(request);
    auto tooLarge = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::downloadProgress, &network_, [reply, tooLarge](qint64 received, qint64) {
        if (received <= maximumFeedBytes || *tooLarge) return;
        *tooLarge = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, &network_, [reply, tooLarge, done = std::move(done)] {
        reply->deleteLater();
        done(resultOf(*reply, *tooLarge));
    });
}

} // namespace orvik::helper
