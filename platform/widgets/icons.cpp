#include "icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace platform {

namespace {
// Renders the SVG at exactly the device size asked for.
class SvgIconEngine : public QIconEngine {
public:
    explicit SvgIconEngine(const QString &resource) : m_resource(resource), m_renderer(resource) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, render((QSizeF(rect.size()) * dpr).toSize(), dpr, mode));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        return render(size, 1.0, mode);
    }

    // QIcon asks with the size in device pixels already.
    QPixmap scaledPixmap(const QSize &deviceSize, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        return render(deviceSize, scale, mode);
    }

    QIconEngine *clone() const override { return new SvgIconEngine(m_resource); }
    QString key() const override { return QStringLiteral("tarbel-svg"); }

private:
    QPixmap render(const QSize &device, qreal dpr, QIcon::Mode mode) const
    {
        QPixmap pm(device);
        pm.fill(Qt::transparent);
        if (m_renderer.isValid()) {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            // Keep the picture's aspect ratio, centred.
            QSizeF vb = m_renderer.viewBoxF().size();
            if (vb.isEmpty())
                vb = device;
            const qreal scale = std::min(device.width() / vb.width(), device.height() / vb.height());
            const QSizeF drawn = vb * scale;
            const QRectF target(QPointF((device.width() - drawn.width()) / 2, (device.height() - drawn.height()) / 2),
                                drawn);
            m_renderer.render(&p, target);
            if (mode == QIcon::Disabled) {
                p.setCompositionMode(QPainter::CompositionMode_SourceIn);
                p.fillRect(pm.rect(), QColor(128, 128, 128, 160));
            }
        }
        pm.setDevicePixelRatio(dpr);
        return pm;
    }

    QString m_resource;
    mutable QSvgRenderer m_renderer;
};
}  // namespace

QIcon svgIcon(const QString &resource)
{
    return QIcon(new SvgIconEngine(resource));
}

}  // namespace platform
