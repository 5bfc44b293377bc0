#pragma once
// A label window on a label file in a temporary folder, with its errors, renewals and
// file dialogs captured instead of shown.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "support/modalhelper.h"
#include "tlabelform/tlabelform.h"

class LabelFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.SetLabelFilePath(Path("labels.txt"));
        form.SetErrorPresenter([this](const QString& m) { errors << m; });
        form.onRenewed = [this] { ++renewed; };
        form.SetOpenChooser([this] { return chosen; });
        form.SetSaveChooser([this] { return chosen; });
    }

    QString Path(const QString& name) const { return dir.filePath(name); }
    void Write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray Read(const QString& name) const
    {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
    }
    // Shows the window and waits until it is up.
    void ShowForm()
    {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    // Runs one modal detail dialog through act (which must close it).
    template <class Act>
    void OnDialog(Act act)
    {
        OnNextModal([act](QWidget* w) { act(w); });
    }

    QTemporaryDir dir;
    tarvik::TLabelForm form;
    QStringList errors;
    int renewed = 0;
    QString chosen;
};
