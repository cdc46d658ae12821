#include "desktop/Input.h"

#include "AcroViewHFT.h"

namespace vexa::host::desktop {

ASInt16 hostModifiers(Qt::KeyboardModifiers m) {
    ASInt16 flags = 0;
    if (m & Qt::ShiftModifier) flags |= AV_SHIFT;
    if (m & Qt::ControlModifier) flags |= AV_COMMAND;
    if (m & Qt::AltModifier) flags |= AV_OPTION;
    return flags;
}

Qt::KeyboardModifiers qtModifiers(ASInt16 flags) {
    Qt::KeyboardModifiers m;
    if (flags & AV_SHIFT) m |= Qt::ShiftModifier;
    if (flags & AV_COMMAND) m |= Qt::ControlModifier;
    if (flags & AV_OPTION) m |= Qt::AltModifier;
    return m;
}

ASUns16 hostKey(const QKeyEvent& e) {
    switch (e.key()) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Left:
            return 28;
        case Qt::Key_Right:
            return 29;
        case Qt::Key_Up:
            return 30;
        case Qt::Key_Down:
            return 31;
        case Qt::Key_Delete:
            return 127;
        default:
            break;
    }
    // The character typed; with Ctrl held the text is a control character, and the
    // letter key counts (in capitals with Shift).
    QString text = e.text();
    if (text.size() == 1 && text[0].unicode() >= 32 && text[0].unicode() < 127)
        return text[0].unicode();
    if (e.key() >= Qt::Key_A && e.key() <= Qt::Key_Z) {
        char c = static_cast<char>('a' + (e.key() - Qt::Key_A));
        if (e.modifiers() & Qt::ShiftModifier) c = static_cast<char>(c - 'a' + 'A');
        return static_cast<ASUns16>(c);
    }
    return 0;
}

QKeyEvent keyEventFor(QEvent::Type type, ASUns16 key, ASInt16 flags) {
    Qt::KeyboardModifiers mods = qtModifiers(flags);
    int qkey = 0;
    QString text;
    switch (key) {
        case 8:
            qkey = Qt::Key_Backspace;
            break;
        case 9:
            qkey = (flags & AV_SHIFT) ? Qt::Key_Backtab : Qt::Key_Tab;
            break;
        case 13:
            qkey = Qt::Key_Return;
            text = "\r";
            break;
        case 27:
            qkey = Qt::Key_Escape;
            break;
        case 28:
            qkey = Qt::Key_Left;
            break;
        case 29:
            qkey = Qt::Key_Right;
            break;
        case 30:
            qkey = Qt::Key_Up;
            break;
        case 31:
            qkey = Qt::Key_Down;
            break;
        case 127:
            qkey = Qt::Key_Delete;
            break;
        default:
            if (key >= 'a' && key <= 'z')
                qkey = Qt::Key_A + (key - 'a');
            else if (key >= 'A' && key <= 'Z')
                qkey = Qt::Key_A + (key - 'A');
            else
                qkey = key;  // digits and punctuation have their character's code
            text = QString(QChar(key));
    }
    return QKeyEvent(type, qkey, mods, text);
}

}  // namespace vexa::host::desktop
