#include "settings/AboutSettings.hpp"

#include "core/AppInfo.hpp"

#include <QFrame>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

namespace orvik::helper {
namespace {

QLabel* centred(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

void scaleFont(QLabel* label, double factor, bool bold = false) {
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setBold(bold);
    label->setFont(font);
}

void dim(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
}

} // namespace

AboutSettings::AboutSettings() : AboutSettings(AppInfo::shortVersion(), ORVIK_HELPER_BUILD, ORVIK_DOWNLOAD_URL) {}

AboutSettings::AboutSettings(const std::string& version, const std::string& build, const std::string& downloadURL) {
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addStretch();

    auto* name = centred(tr("Orvik Helper"));
    scaleFont(name, 1.5, true);
    layout->addWidget(name);
    auto* versionLabel = centred(QString::fromStdString(versionLine(version, build)));
    dim(versionLabel);
    layout->addWidget(versionLabel);
    layout->addWidget(centred(tr("Encrypted. Paired. Private. Orvik Helper only accepts paired devices, never runs "
                                 "arbitrary commands and sends no analytics.")));
    if (const auto page = securityPageURL(downloadURL)) {
        auto* link =
            new QLabel(QStringLiteral("<a href=\"%1\">%2</a>")
                           .arg(QUrl(QString::fromStdString(*page)).toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                tr("How Orvik keeps your computer safe").toHtmlEscaped()));
        link->setTextFormat(Qt::RichText);
        link->setOpenExternalLinks(true);
        link->setAlignment(Qt::AlignHCenter);
        layout->addWidget(link);
    }
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    auto* thanks = centred(QString::fromStdString(acknowledgements()));
    scaleFont(thanks, 0.85);
    dim(thanks);
    layout->addWidget(thanks);
    auto* trademark = centred(tr("Mac is a trademark of Apple Inc., registered in the U.S. and other countries."));
    scaleFont(trademark, 0.75);
    dim(trademark);
    layout->addWidget(trademark);
    layout->addStretch();
}

std::string AboutSettings::versionLine(const std::string& version, const std::string& build) {
    return "Version " + version + " (" + build + ")";
}

std::optional<std::string> AboutSettings::securityPageURL(std::string_view downloadURL) {
    if (downloadURL.empty() || downloadURL.starts_with("{{")) return std::nullopt;
    QUrl url(QString::fromUtf8(downloadURL.data(), static_cast<qsizetype>(downloadURL.size())), QUrl::StrictMode);
    if (!url.isValid()) return std::nullopt;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    url.setPath(path + QStringLiteral("security.html"));
    return url.toString().toStdString();
}

std::string AboutSettings::acknowledgements() {
    return "Acknowledgements: " ORVIK_ACKNOWLEDGED_LIBRARIES;
}

} // namespace orvik::helper
