// Resolves the host name of the connection fields on a thread of its own, so
// that a slow or dead name server never freezes the window.
#ifndef APP_HOST_LOOKUP_H
#define APP_HOST_LOOKUP_H

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

namespace calibrator {

class THostLookup : public QObject {
  Q_OBJECT

 public:
  // Resolves a name to dotted IPv4 text, "" when it does not resolve; runs
  // on the lookup's thread.
  using TResolver = std::function<std::string(const std::string &name)>;

  explicit THostLookup(QObject *parent = nullptr);
  // Abandons a lookup in progress: its thread ends on its own and its result
  // is dropped. Never waits for the resolver.
  ~THostLookup() override;

  // Starts resolving `name`; `finished` follows on this object's thread. A
  // lookup already in progress is abandoned.
  void Start(const QString &name);
  // Drops the result of the lookup in progress, if any.
  void Abandon();
  bool Running() const { return running_; }
  // Replaces ResolveIPv4 for the lookups started from now on, for a test
  // that must hold a lookup open while it watches the window.
  void SetResolver(TResolver resolver) { resolver_ = std::move(resolver); }

 signals:
  // `address`: the dotted IPv4 address `name` resolves to, empty when none.
  void finished(const QString &name, const QString &address);

 private:
  // Shared with the lookup's thread, which may outlive this object.
  struct TGuard;

  TResolver resolver_;
  std::shared_ptr<TGuard> guard_;
  bool running_ = false;
};

}  // namespace calibrator

#endif
