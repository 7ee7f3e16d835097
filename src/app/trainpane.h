#pragma once

#include <QObject>

class ArchitectureDocument;
class Prompter;
class QComboBox;
class QLabel;
class QPushButton;
class QWidget;
class nodecollection;

// The Train pane: its tools (the pre-trained list with the small-data suggestion, the custom
// model's buttons and the layer classes, the strategy button) and the layer graph editor, which
// shows the architecture document it holds.
class TrainPane : public QObject {
    Q_OBJECT
public:
    TrainPane(ArchitectureDocument& architecture, Prompter& prompter, QWidget* leftView, QWidget* parking,
              QObject* parent = nullptr);
    ~TrainPane() override;

    ArchitectureDocument& architecture() const { return m_architecture; }

    // ---- Tools ------------------------------------------------------------------------------
    QWidget* trainView() const { return m_trainView; }
    QWidget* pretrainmode() const { return m_pretrainmode; }
    QWidget* custommode() const { return m_custommode; }
    QWidget* trainstrategy() const { return m_trainstrategy; }
    QComboBox* modellist() const { return m_modellist; }
    QComboBox* nodeclass() const { return m_nodeclass; }
    QPushButton* newmodelbutton() const { return m_newmodelbutton; }
    QPushButton* modelgeneratebtn() const { return m_modelgeneratebtn; }
    QPushButton* modeltrainbtn() const { return m_modeltrainbtn; }
    // A quiet suggestion of a pre-trained architecture when few images are labelled.
    QLabel* smalldatahint() const { return m_smalldatahint; }
    QPushButton* smalldatabutton() const { return m_smalldatabutton; }

    // ---- Work area ----------------------------------------------------------------------------
    nodecollection* nodecollectionView() const { return m_nodecollectionView; }

    // Shows the three panels, once a model was opened or the model picker was cancelled.
    void showPanels();

private:
    ArchitectureDocument& m_architecture;
    QWidget* m_trainView = nullptr;
    QWidget* m_pretrainmode = nullptr;
    QWidget* m_custommode = nullptr;
    QWidget* m_trainstrategy = nullptr;
    QComboBox* m_modellist = nullptr;
    QComboBox* m_nodeclass = nullptr;
    QPushButton* m_newmodelbutton = nullptr;
    QPushButton* m_modelgeneratebtn = nullptr;
    QPushButton* m_modeltrainbtn = nullptr;
    QLabel* m_smalldatahint = nullptr;
    QPushButton* m_smalldatabutton = nullptr;
    nodecollection* m_nodecollectionView = nullptr;
};
