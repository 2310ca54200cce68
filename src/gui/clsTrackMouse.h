#pragma once
// clsTrackMouse: tells when the pointer comes onto a widget and when it leaves it, from the
// widget's enter and leave events. MouseOver and MouseOut alternate, starting with MouseOver.
// The tracker watches its object until TrackObject is set to nothing, the tracker dies or the
// object dies.
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class clsTrackMouse : public QObject {
    Q_OBJECT
public:
    explicit clsTrackMouse(QObject* parent = nullptr) : QObject(parent) {}
    ~clsTrackMouse() override { SetTrackObject(nullptr); }

    QWidget* TrackObject() const { return m_Tracked; }
    // Hooks objNewTrackMouse (nothing unhooks the current one).
    void SetTrackObject(QWidget* objNewTrackMouse);

    std::function<void()> MouseOver;
    std::function<void()> MouseOut;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_Tracked;
    bool m_Inside = false;
};
