// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// One Quillary per user, the window's side: a start that finds one running
// hands its request over and ends; the one running listens for them.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "one_instance.h"

class QLocalServer;

namespace qlui {

enum class HandOver {
  kTaken,        // the running one has it
  kNoneRunning,  // no one listens (no socket, or one a finished run left)
  kNoAnswer,     // one listens but did not take it
};
// Gives request to the Quillary listening at path.
HandOver HandOverRequest(const QString& path, const ql::InstanceRequest& request);

class InstanceServer final : public QObject {
  Q_OBJECT
 public:
  using Take = std::function<void(const ql::InstanceRequest&)>;
  // take runs from the event loop once the request is answered, so it may
  // open windows of its own.
  explicit InstanceServer(Take take, QObject* parent = nullptr);
  // Listens at path, over a socket a run that ended left there; false when
  // that cannot be done (the start then runs on its own).
  bool Listen(const QString& path);

 private:
  void OnConnection();

  QLocalServer* iServer;
  Take iTake;
};

// The desktop's selection and clipboard through Qt.
class QtSelectionSource final : public ql::SelectionSource {
 public:
  std::optional<std::string> PrimarySelection() const override;
  std::string Clipboard() const override;
};

}  // namespace qlui
