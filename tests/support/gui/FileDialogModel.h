// Waits for a file dialog's file system model, which reads its folder in a
// thread of its own, to list a file with its size.
#pragma once

#include <QApplication>
#include <QFileSystemModel>
#include <QThread>
#include <string>

namespace ond::test {

// The model's size cell of File once it holds Size bytes; invalid when the
// model does not list the file within about four seconds.
inline QModelIndex WaitForFileSize(QFileSystemModel& Files, const std::string& File, qint64 Size) {
  QModelIndex size;
  for (int i = 0; i < 2000 && !(size = Files.index(QString::fromStdString(File), 1)).isValid(); ++i) {
    QApplication::processEvents();
    QThread::msleep(2);
  }
  for (int i = 0; i < 2000 && size.isValid() && Files.size(size) != Size; ++i) {
    QApplication::processEvents();
    QThread::msleep(2);
  }
  return size;
}

}  // namespace ond::test
