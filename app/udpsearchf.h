// The search dialog: lists the devices a search found, one line each, and
// hands back which one the operator chose. It only lists and selects; the
// main window copies the chosen device into its connection fields.
#ifndef APP_UDPSEARCHF_H
#define APP_UDPSEARCHF_H

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "sdk/udps.h"

namespace Ui {
class UdpSearchForm;
}

namespace calibrator {

// The device's list line, "192.168.1.10 - Store (Sensor box)": its address,
// name and model. The texts are the device's own, in UTF-8.
QString DeviceLine(const zelvoapi::TUdpsDevice &device);

// The device's HTTP port as the port field takes it: "8080".
QString DevicePortText(const zelvoapi::TUdpsDevice &device);

class TUdpSearchForm : public QDialog {
  Q_OBJECT

 public:
  explicit TUdpSearchForm(QWidget *parent = nullptr);
  ~TUdpSearchForm() override;

  // Appends the device's line: line i stands for the i-th device added.
  void AddDevice(const zelvoapi::TUdpsDevice &device);
  // The selected line, -1 while none is.
  int32_t SelectedIndex() const { return selected_index_; }

 private:
  void ModulesListBoxClick();
  // Chooses the line and closes the dialog, as OK does.
  void ModulesListBoxDblClick();

  std::unique_ptr<Ui::UdpSearchForm> ui_;
  int32_t selected_index_ = -1;
};

// Runs the dialog modally over `parent`, one line per device: true with the
// chosen line in `index` when the operator pressed OK on a selected line or
// double-clicked one; false for Cancel, Escape (also after a selection), the
// close box, or OK with no line selected.
bool ChooseDevice(QWidget *parent, const std::vector<zelvoapi::TUdpsDevice> &devices, int32_t &index);

// ChooseDevice over the devices of the last search of `udps`; the index is
// one of that search. An object that is searching again offers no device.
bool SelectUdpDevice(QWidget *parent, zelvoapi::TUdpsCustom &udps, int32_t &index);

}  // namespace calibrator

#endif
