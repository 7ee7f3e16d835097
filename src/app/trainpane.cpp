#include "app/trainpane.h"

#include "app/panelayout.h"
#include "model/catalogue.h"
#include "model/ui/nodecollection.h"

#include <QComboBox>
#include <QPushButton>

using framing::placeBL;
using panelayout::caption;

TrainPane::TrainPane(ArchitectureDocument& architecture, Prompter& prompter, QWidget* leftView, QWidget* parking,
                     QObject* parent)
    : QObject(parent), m_architecture(architecture)
{
    m_trainView = panelayout::pane(leftView, QStringLiteral("trainView"));

    m_pretrainmode = panelayout::panel(m_trainView, QStringLiteral("pretrainmode"), 0, 350, 200, 200);
    QLabel* modelCaption = caption(QStringLiteral("Pre-trained model"), m_pretrainmode, 0, 100, 150, 20);
    m_modellist = new QComboBox;
    m_modellist->setAccessibleName(QStringLiteral("Pre-trained model"));
    placeBL(m_modellist, m_pretrainmode, 10, 70, 180, 20);
    modelCaption->setBuddy(m_modellist);  // names the box for assistive tools
    m_modellist->addItems(catalogue::mlmodels());
    m_modellist->setCurrentIndex(-1);
    m_smalldatahint = caption(QString(), m_pretrainmode, 10, 28, 180, 40);
    m_smalldatahint->setWordWrap(true);
    m_smalldatahint->setObjectName(QStringLiteral("smalldatahint"));
    QFont small = m_smalldatahint->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_smalldatahint->setFont(small);
    m_smalldatahint->hide();
    m_smalldatabutton = framing::button(QString(), nullptr);
    m_smalldatabutton->setObjectName(QStringLiteral("smalldatabutton"));
    placeBL(m_smalldatabutton, m_pretrainmode, 10, 4, 130, 20);
    m_smalldatabutton->hide();

    m_custommode = panelayout::panel(m_trainView, QStringLiteral("custommode"), 0, 150, 200, 200);
    caption(QStringLiteral("Customize model"), m_custommode, 0, 180, 150, 20);
    m_newmodelbutton = framing::button(QStringLiteral("New Model"), nullptr);
    placeBL(m_newmodelbutton, m_custommode, 30, 150, 100, 20);
    QLabel* classCaption = caption(QStringLiteral("Add node class:"), m_custommode, 0, 120, 100, 20);
    m_nodeclass = new QComboBox;
    m_nodeclass->setAccessibleName(QStringLiteral("Add node class:"));
    m_nodeclass->setEnabled(false);
    placeBL(m_nodeclass, m_custommode, 0, 100, 180, 20);
    classCaption->setBuddy(m_nodeclass);
    m_nodeclass->addItems(catalogue::nodeclasses());
    m_nodeclass->setCurrentIndex(-1);
    m_modelgeneratebtn = framing::button(QStringLiteral("Gnerate ML Model"), nullptr);
    m_modelgeneratebtn->setEnabled(false);
    placeBL(m_modelgeneratebtn, m_custommode, 10, 70, 150, 20);

    m_trainstrategy = panelayout::panel(m_trainView, QStringLiteral("trainstrategy"), 0, 0, 200, 200);
    caption(QStringLiteral("Training Strategy"), m_trainstrategy, 0, 180, 150, 20);
    m_modeltrainbtn = framing::button(QStringLiteral("Strategy Config"), nullptr);
    placeBL(m_modeltrainbtn, m_trainstrategy, 10, 70, 150, 20);

    // The panels appear only once a model was opened (or the model picker was cancelled).
    for (QWidget* panel : {m_pretrainmode, m_custommode, m_trainstrategy})
        panel->hide();

    m_nodecollectionView = new nodecollection(m_architecture, prompter, parking);
    m_nodecollectionView->hide();
}

// The editor reads the document, which may go first when the window closes.
TrainPane::~TrainPane() { delete m_nodecollectionView; }

void TrainPane::showPanels()
{
    for (QWidget* panel : {m_pretrainmode, m_custommode, m_trainstrategy})
        panel->show();
}
