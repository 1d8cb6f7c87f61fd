#include "PaintedIcon.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

namespace {

class PaintedIconEngine final : public QIconEngine
{
public:
    PaintedIconEngine(int grid, HIconPainter paint) : m_grid(grid), m_paint(std::move(paint)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        QPalette palette = QGuiApplication::palette();
        if (mode == QIcon::Disabled)
            palette.setCurrentColorGroup(QPalette::Disabled);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const int side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / qreal(m_grid), side / qreal(m_grid));
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.45);
        m_paint(*painter, palette);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(), size), mode, state);
        return pm;
    }

    QIconEngine *clone() const override { return new PaintedIconEngine(m_grid, m_paint); }
    QString key() const override { return QStringLiteral("HPaintedIcon"); }

private:
    int m_grid;
    HIconPainter m_paint;
};

} // namespace

QIcon hPaintedIcon(int grid, HIconPainter paint)
{
    return QIcon(new PaintedIconEngine(grid, std::move(paint)));
}

QIcon hThemeIcon(const QString &themeName, int grid, HIconPainter paint)
{
    return QIcon::fromTheme(themeName, hPaintedIcon(grid, std::move(paint)));
}
