#pragma once
#include <QList>
#include <QString>

// The main window's ten commands, in the order the toolbar shows them. The
// order is not the order of the ids: "سايت ما" (147) comes before
// "تماس با ما" (145).
struct ShellCommand {
    int id;
    QString caption;
    QString icon; // name of the command's picture in the shell's resources
};

enum CommandId {
    CmdExaminees = 100,
    CmdAnswerSheet = 101,
    CmdExamineeFile = 140,
    CmdTestResult = 141,
    CmdSettings = 142,
    CmdUpdate = 143,
    CmdBackup = 144,
    CmdAbout = 145,
    CmdExit = 146,
    CmdSite = 147,
};

const QList<ShellCommand> &ToolbarCommands();
