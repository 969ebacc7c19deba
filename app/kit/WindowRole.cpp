#include "app/kit/WindowRole.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

const char* const kRoleProperty = "kr3090Role";

QAccessibleInterface* RoleFactory(const QString&, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid()) return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object),
                                 static_cast<QAccessible::Role>(role.toInt()));
}

void Announce(QWidget* widget, QAccessible::Role role) {
    static const bool installed = [] {
        QAccessible::installFactory(RoleFactory);
        return true;
    }();
    (void)installed;
    widget->setProperty(kRoleProperty, int(role));
    // An interface Qt made before (a widget that names itself in its
    // constructor) is dropped: the next one asked for comes from the factory.
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget);
    if (made && made->role() != role)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

}  // namespace

void AnnounceAsWindow(QWidget* window) {
    Announce(window, QAccessible::Window);
}

void AnnounceAsPicture(QWidget* plot) {
    Announce(plot, QAccessible::Graphic);
}
