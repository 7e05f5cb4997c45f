// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupPage.h"

#include "setup/SetupContext.h"
#include "setup/SetupPicture.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QProgressBar>

using namespace Qt::StringLiterals;

CSetupPage::CSetupPage(CSetupContext& context, const QString& caption, QWidget* parent)
    : QWizardPage(parent), m_ctx(context), m_caption(caption) {
    const QFontMetricsF metrics(font());
    // Dialog base units: average width of the alphabet, full line height.
    m_baseX = metrics.horizontalAdvance(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"_s) / 52.0;
    m_baseY = metrics.height();
    const QRect page = Dlu(0, 0, 282, 170);
    setFixedSize(page.size());

    auto* picture = new QLabel(this);
    picture->setObjectName(u"picture"_s);
    const QRect pictureRect = Dlu(7, 7, 60, 110);
    picture->setGeometry(pictureRect);
    picture->setPixmap(SetupPicture(pictureRect.size()));

    m_heading = new QLabel(this);
    m_heading->setObjectName(u"heading"_s);
    m_heading->setWordWrap(true);
    m_heading->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetHeadingGeometry(25);

    m_detail = new QLabel(this);
    m_detail->setObjectName(u"detail"_s);
    m_detail->setWordWrap(true);
    m_detail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetDetailGeometry(154, 17);
}

QRect CSetupPage::Dlu(int x, int y, int width, int height) const {
    const auto px = [this](int units) { return int(units * m_baseX / 4.0 + 0.5); };
    const auto py = [this](int units) { return int(units * m_baseY / 8.0 + 0.5); };
    return {px(x), py(y), px(width), py(height)};
}

void CSetupPage::SetHeadingGeometry(int height) {
    m_heading->setGeometry(Dlu(120, 7, 155, height));
}

void CSetupPage::SetDetailGeometry(int width, int height) {
    m_detail->setGeometry(Dlu(121, 34, width, height));
}

void CSetupPage::CreateProgressBar() {
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(u"progress"_s);
    m_progress->setGeometry(Dlu(7, 148, 268, 15));
    m_progress->setTextVisible(false);
    m_progress->hide();
}

void CSetupPage::SetStepCount(int count) {
    if (!m_progress)
        return;
    m_progress->setRange(0, count);
    m_progress->setValue(0);
    m_progress->repaint();
}

void CSetupPage::Step() {
    if (!m_progress)
        return;
    // A bar sized for fewer steps than a run takes stays full.
    m_progress->setValue(std::min(m_progress->value() + 1, m_progress->maximum()));
    m_progress->repaint();
}
