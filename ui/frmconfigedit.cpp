#include "ui/frmconfigedit.h"

TfrmConfigEdit::TfrmConfigEdit(QWidget* parent) : QDialog(parent) {}

TfrmConfigEdit::~TfrmConfigEdit() = default;
