#include "app/udpsearchf.h"

#include <QListWidgetItem>

#include "app/form_font.h"
#include "ui_udpsearchf.h"

namespace calibrator {

namespace {

// Height of one list line, and the room beside its text, in pixels.
constexpr int kLineHeight = 13;
constexpr int kLineMargin = 4;

}  // namespace

QString DeviceLine(const zelvoapi::TUdpsDevice &device) {
  return QString::fromStdString(device.Ip + " - " + device.Name + " (" + device.Model + ")");
}

QString DevicePortText(const zelvoapi::TUdpsDevice &device) { return QString::asprintf("%i", device.Port); }

TUdpSearchForm::TUdpSearchForm(QWidget *parent) : QDialog(parent), ui_(std::make_unique<Ui::UdpSearchForm>()) {
  ui_->setupUi(this);
  ApplyFormFont(this);
  setFixedSize(size());
  connect(ui_->ModulesListBox, &QListWidget::itemSelectionChanged, this, &TUdpSearchForm::ModulesListBoxClick);
  connect(ui_->ModulesListBox, &QListWidget::itemDoubleClicked, this, &TUdpSearchForm::ModulesListBoxDblClick);
}

TUdpSearchForm::~TUdpSearchForm() = default;

void TUdpSearchForm::AddDevice(const zelvoapi::TUdpsDevice &device) {
  QListWidget *list = ui_->ModulesListBox;
  const QString line = DeviceLine(device);
  auto *item = new QListWidgetItem(line, list);
  item->setSizeHint(QSize(list->fontMetrics().horizontalAdvance(line) + kLineMargin, kLineHeight));
}

void TUdpSearchForm::ModulesListBoxClick() {
  const QList<QListWidgetItem *> selected = ui_->ModulesListBox->selectedItems();
  selected_index_ = selected.isEmpty() ? -1 : ui_->ModulesListBox->row(selected.first());
}

void TUdpSearchForm::ModulesListBoxDblClick() { ui_->OkButton->click(); }

bool ChooseDevice(QWidget *parent, const std::vector<zelvoapi::TUdpsDevice> &devices, int32_t &index) {
  TUdpSearchForm dialog(parent);
  for (const zelvoapi::TUdpsDevice &device : devices) dialog.AddDevice(device);
  if (dialog.exec() != QDialog::Accepted || dialog.SelectedIndex() == -1) return false;
  index = dialog.SelectedIndex();
  return true;
}

bool SelectUdpDevice(QWidget *parent, zelvoapi::TUdpsCustom &udps, int32_t &index) {
  std::vector<zelvoapi::TUdpsDevice> devices;
  // DeviceCount is asked for every line: it drops to "busy" once a search
  // starts, and the records behind the list go with it.
  for (int32_t i = 0; i < udps.DeviceCount(); ++i) {
    zelvoapi::TUdpsDevice device;
    if (udps.GetDevice(i, device) != zelvoapi::UDPS_DONE) break;
    devices.push_back(std::move(device));
  }
  return ChooseDevice(parent, devices, index);
}

}  // namespace calibrator
