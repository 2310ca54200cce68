#include "gui/clsTrackMouse.h"

#include <QEvent>

void clsTrackMouse::SetTrackObject(QWidget* objNewTrackMouse) {
    if (m_Tracked == objNewTrackMouse) {
        return;
    }
    if (m_Tracked) {
        m_Tracked->removeEventFilter(this);
    }
    m_Tracked = objNewTrackMouse;
    m_Inside = false;
    if (m_Tracked) {
        m_Tracked->installEventFilter(this);
    }
}

bool clsTrackMouse::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_Tracked) {
        if (event->type() == QEvent::Enter && !m_Inside) {
            m_Inside = true;
            if (MouseOver) {
                MouseOver();
            }
        } else if (event->type() == QEvent::Leave && m_Inside) {
            m_Inside = false;
            if (MouseOut) {
                MouseOut();
            }
        }
    }
    return QObject::eventFilter(watched, event);
}
