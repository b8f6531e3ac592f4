// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "instance.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <memory>

namespace qlui {

namespace {

// Long enough for a window busy drawing; a request is a few lines.
constexpr int kConnectMs = 1000;
constexpr int kAnswerMs = 5000;
constexpr int kIdleMs = 10000;

}  // namespace

HandOver HandOverRequest(const QString& path, const ql::InstanceRequest& request) {
  const std::string bytes = ql::EncodeRequest(request);
  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(kConnectMs)) return HandOver::kNoneRunning;
  if (bytes.empty()) return HandOver::kNoAnswer;
  socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
  if (!socket.waitForBytesWritten(kAnswerMs)) return HandOver::kNoAnswer;
  QByteArray answer;
  while (!answer.contains('\n') && answer.size() < 16 && socket.waitForReadyRead(kAnswerMs))
    answer += socket.read(16 - answer.size());
  return answer.startsWith(
             QByteArray(ql::kRequestTaken.data(), static_cast<qsizetype>(ql::kRequestTaken.size())))
             ? HandOver::kTaken
             : HandOver::kNoAnswer;
}

InstanceServer::InstanceServer(Take take, QObject* parent)
    : QObject(parent), iServer(new QLocalServer(this)), iTake(std::move(take)) {
  iServer->setSocketOptions(QLocalServer::UserAccessOption);
  connect(iServer, &QLocalServer::newConnection, this, &InstanceServer::OnConnection);
}

bool InstanceServer::Listen(const QString& path) {
  if (path.isEmpty()) return false;
  if (iServer->listen(path)) return true;
  // The caller found no one answering there: what stands is left over.
  if (iServer->serverError() != QAbstractSocket::AddressInUseError) return false;
  QLocalServer::removeServer(path);
  return iServer->listen(path);
}

void InstanceServer::OnConnection() {
  while (QLocalSocket* socket = iServer->nextPendingConnection()) {
    auto received = std::make_shared<QByteArray>();
    // A client that says nothing is let go.
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
    idle->start(kIdleMs);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, received, idle] {
      const qint64 room = static_cast<qint64>(ql::kMaxRequestBytes) + 1 - received->size();
      if (room > 0) *received += socket->read(room);
      const ql::DecodedRequest decoded = ql::DecodeRequest(
          std::string_view(received->constData(), static_cast<size_t>(received->size())));
      if (decoded.state == ql::RequestState::kIncomplete) return;
      idle->stop();
      disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
      const std::string_view answer =
          decoded.state == ql::RequestState::kComplete ? ql::kRequestTaken : ql::kRequestRefused;
      socket->write(answer.data(), static_cast<qint64>(answer.size()));
      socket->flush();
      socket->disconnectFromServer();
      if (decoded.state == ql::RequestState::kComplete) {
        const ql::InstanceRequest request = decoded.request;
        QTimer::singleShot(0, this, [this, request] { iTake(request); });
      }
    });
  }
}

std::optional<std::string> QtSelectionSource::PrimarySelection() const {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard->supportsSelection()) return std::nullopt;
  return clipboard->text(QClipboard::Selection).toStdString();
}

std::string QtSelectionSource::Clipboard() const {
  return QGuiApplication::clipboard()->text(QClipboard::Clipboard).toStdString();
}

}  // namespace qlui
