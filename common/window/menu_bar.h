// The menu bar of a designed menu tree, for both programs' windows: each line is a menu, a command on the
// bar itself, an entry of the menu above it or a separator, with its item, caption and check box.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QString>
#include <map>
#include <vector>

namespace brindlecor {

// Every menu and command is named name(line.ref) and kept in `actions` under that name. A command runs
// trigger(line.ref); the check mark is the caller's alone to set, so Qt's own toggle is undone first.
// onMenu(line, menu) is called once for each menu as it is made.
template <class Line, class Caption, class Name, class Trigger, class OnMenu>
void buildMenuBar(QMainWindow& window, const std::vector<Line>& tree, Caption caption, Name name,
                  std::map<QString, QAction*>& actions, Trigger trigger, OnMenu onMenu) {
    QMenu* current = nullptr;
    for (const Line& line : tree) {
        const QString objectName = name(line.ref);
        QAction* action = nullptr;
        switch (line.kind) {
            case Line::Menu:
                current = window.menuBar()->addMenu(caption(line.caption));
                current->setObjectName(objectName);
                action = current->menuAction();
                break;
            case Line::MenuBarCommand:
                action = window.menuBar()->addAction(caption(line.caption));
                break;
            case Line::Entry:
                action = current->addAction(caption(line.caption));
                break;
            case Line::Separator:
                current->addSeparator();
                continue;
        }
        action->setObjectName(objectName);
        action->setCheckable(line.checkable);
        actions[objectName] = action;
        if (line.kind == Line::Menu) {
            onMenu(line, current);
            continue;
        }
        QObject::connect(action, &QAction::triggered, &window, [action, trigger, ref = line.ref] {
            if (action->isCheckable()) action->setChecked(!action->isChecked());
            trigger(ref);
        });
    }
}

}  // namespace brindlecor
