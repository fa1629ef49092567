#include "directory/ui/directorypanel.h"

#include "components/namedbutton.h"
#include "components/twips.h"
#include "directory/choices.h"
#include "directory/directorycontroller.h"
#include "directory/ui/stationgrid.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// Light grey, as the window's combo boxes are stored (0x00BBGGRR).
constexpr LumaKit::OleColor ComboBackColor = 0x00EFEFEF;

} // namespace

DirectoryPanel::DirectoryPanel(const LumaboxFactory &makeBox, QWidget *parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("directoryPanel"));
    if (makeBox) {
        m_cmbGenre = makeBox(this);
        m_cmbBandWidth = makeBox(this);
    }
    const int boxWidth = twipsToPixels(2200, this);
    for (auto [box, name] :
         {std::pair{m_cmbGenre, "cmbGenre"}, std::pair{m_cmbBandWidth, "cmbBandWidth"}}) {
        if (!box)
            continue;
        box->setObjectName(QString::fromLatin1(name));
        box->BackColor(ComboBackColor);
        box->Font(font());
        box->setMinimumWidth(boxWidth);
        connect(signalsOf(box), &LumaboxSignals::clicked, this, &DirectoryPanel::choiceClicked);
    }
    m_cmdGetStations = namedButton("cmdGetStations", QStringLiteral("&Get stations"), this);
    m_cmdPrevious = namedButton("cmdPrevious", QStringLiteral("<<< &Previous"), this);
    m_cmdNext = namedButton("cmdNext", QStringLiteral("&Next >>>"), this);
    m_cmdPrevious->setEnabled(false);
    m_cmdNext->setEnabled(false);

    auto *query = new QHBoxLayout;
    query->addWidget(new QLabel(QStringLiteral("Genre:"), this));
    if (m_cmbGenre)
        query->addWidget(m_cmbGenre);
    query->addSpacing(8);
    query->addWidget(new QLabel(QStringLiteral("Limit by Bandwidth:"), this));
    if (m_cmbBandWidth)
        query->addWidget(m_cmbBandWidth);
    query->addWidget(m_cmdGetStations);
    query->addStretch();
    query->addWidget(m_cmdPrevious);
    query->addWidget(m_cmdNext);

    m_grid = new StationGrid(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(query);
    layout->addWidget(m_grid, 1);
}

void DirectoryPanel::attach(DirectoryController &controller) {
    DirectoryController *d = &controller;
    d->setBandwidthSource([this] { return bandwidthText(); });
    connect(m_cmdGetStations, &QPushButton::clicked, d,
            [this, d] { d->getStations(genreText(), bandwidthText(), m_grid->caption()); });
    connect(m_cmdNext, &QPushButton::clicked, d, &DirectoryController::next);
    connect(m_cmdPrevious, &QPushButton::clicked, d, &DirectoryController::previous);
    connect(this, &DirectoryPanel::choiceClicked, d, &DirectoryController::selectionChanged);
    connect(d, &DirectoryController::getStationsEnabled, m_cmdGetStations, &QWidget::setEnabled);
    connect(d, &DirectoryController::gridCleared, m_grid, &StationGrid::clear);
    connect(d, &DirectoryController::rowAdded, m_grid, &StationGrid::addRow);
    connect(d, &DirectoryController::nextEnabled, m_cmdNext, &QWidget::setEnabled);
    connect(d, &DirectoryController::previousEnabled, m_cmdPrevious, &QWidget::setEnabled);
}

void DirectoryPanel::fillChoices() {
    if (m_cmbBandWidth) {
        for (const QString &entry : BandwidthEntries())
            m_cmbBandWidth->AddItem(entry);
        m_cmbBandWidth->ListIndex(0);
    }
    if (m_cmbGenre) {
        for (const QString &entry : GenreEntries())
            m_cmbGenre->AddItem(entry);
        m_cmbGenre->ListIndex(InitialGenreIndex);
    }
}

QString DirectoryPanel::genreText() const {
    return m_cmbGenre ? m_cmbGenre->Text() : QString();
}

QString DirectoryPanel::bandwidthText() const {
    return m_cmbBandWidth ? m_cmbBandWidth->Text() : QString();
}

} // namespace kestrune
