#include "shell/Commands.h"

const QList<ShellCommand> &ToolbarCommands()
{
    static const QList<ShellCommand> commands = {
        {CmdExaminees, QStringLiteral("آزمودني ها"), QStringLiteral("examinees")},
        {CmdAnswerSheet, QStringLiteral("پاسخنامه"), QStringLiteral("answersheet")},
        {CmdExamineeFile, QStringLiteral("فايل آزمودني"), QStringLiteral("examineefile")},
        {CmdTestResult, QStringLiteral("نتيجه تست"), QStringLiteral("result")},
        {CmdSettings, QStringLiteral("تنظيمات"), QStringLiteral("settings")},
        {CmdUpdate, QStringLiteral("بروزرساني"), QStringLiteral("update")},
        {CmdBackup, QStringLiteral("پشتيبان گيري"), QStringLiteral("backup")},
        {CmdSite, QStringLiteral("سايت ما"), QStringLiteral("site")},
        {CmdAbout, QStringLiteral("تماس با ما"), QStringLiteral("about")},
        {CmdExit, QStringLiteral("خروج"), QStringLiteral("exit")},
    };
    return commands;
}
