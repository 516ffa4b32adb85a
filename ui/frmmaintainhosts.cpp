#include "ui/frmmaintainhosts.h"

TfrmMaintainHosts::TfrmMaintainHosts(QWidget* parent) : QDialog(parent) {}

TfrmMaintainHosts::~TfrmMaintainHosts() = default;
