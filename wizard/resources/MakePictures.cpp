// Draws the wizard's pictures into PNG files, at 1x and 2x, for the resource
// file. Run once after changing a drawing; the PNGs are committed:
//     cmake --build build --target tessary-pictures
//     QT_QPA_PLATFORM=offscreen build/bin/tessary-pictures wizard/resources/pictures

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

const QColor kTileColours[9] = {"#f2b134", "#ef6f4f", "#4fb3bf", "#f7e1a1", "#5c9ead",
                                "#e8875b", "#9ccfd8", "#f2b134", "#ef6f4f"};

// Three by three rounded tiles filling `area`: the mosaic that names Tessary.
void Mosaic(QPainter& painter, const QRectF& area, qreal opacity = 1.0) {
    const qreal gap = area.width() / 12;
    const qreal tile = (area.width() - 2 * gap) / 3;
    painter.setPen(Qt::NoPen);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            QColor colour = kTileColours[row * 3 + column];
            colour.setAlphaF(opacity);
            painter.setBrush(colour);
            painter.drawRoundedRect(QRectF(area.left() + column * (tile + gap),
                                           area.top() + row * (tile + gap), tile, tile),
                                    tile / 5, tile / 5);
        }
}

void Banner(QPainter& painter, QSizeF size) {
    QLinearGradient sky(0, 0, size.width(), 0);
    sky.setColorAt(0, QColor("#2f7fa8"));
    sky.setColorAt(0.75, QColor("#1f4e6b"));
    sky.setColorAt(1, QColor("#1f4e6b"));
    painter.fillRect(QRectF(QPointF(0, 0), size), sky);

    // Faint tiles drifting off to the right, ending well before the edge.
    for (int index = 0; index < 7; ++index) {
        const qreal side = 30 - index * 3;
        const qreal x = 330 + index * 38;
        const qreal y = (index % 2 ? 8 : 26);
        QColor colour = kTileColours[index];
        colour.setAlphaF(0.22 - index * 0.025);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawRoundedRect(QRectF(x, y, side, side), side / 5, side / 5);
    }

    Mosaic(painter, QRectF(16, 10, 44, 44));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(26);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QPointF(74, 34), QStringLiteral("Tessary"));
    QFont subtitle(QStringLiteral("DejaVu Sans"));
    subtitle.setPixelSize(12);
    painter.setFont(subtitle);
    painter.setPen(QColor("#cfe6f2"));
    painter.drawText(QPointF(75, 51), QStringLiteral("Photo galleries, exactly your way"));
}

// A round badge with a white symbol drawn by `symbol` in a 0..1 box.
void Badge(QPainter& painter, QSizeF size, const QColor& colour,
           const std::function<void(QPainter&)>& symbol) {
    const QRectF circle(0.5, 0.5, size.width() - 1, size.height() - 1);
    painter.setPen(QPen(colour.darker(125), 1));
    painter.setBrush(colour);
    painter.drawEllipse(circle);
    painter.save();
    painter.translate(circle.topLeft());
    painter.scale(circle.width(), circle.height());
    symbol(painter);
    painter.restore();
}

void WhiteStroke(QPainter& painter, const QPainterPath& path) {
    QPen pen(Qt::white, 0.14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

void Step(QPainter& painter, QSizeF size) {
    Badge(painter, size, QColor("#2f7fa8"), [](QPainter& p) {
        QPainterPath arrow;
        arrow.moveTo(0.40, 0.28);
        arrow.lineTo(0.66, 0.50);
        arrow.lineTo(0.40, 0.72);
        WhiteStroke(p, arrow);
    });
}

void Check(QPainter& painter, QSizeF size) {
    Badge(painter, size, QColor("#3a9d5d"), [](QPainter& p) {
        QPainterPath tick;
        tick.moveTo(0.28, 0.52);
        tick.lineTo(0.44, 0.68);
        tick.lineTo(0.72, 0.34);
        WhiteStroke(p, tick);
    });
}

void Cross(QPainter& painter, QSizeF size) {
    Badge(painter, size, QColor("#c8553d"), [](QPainter& p) {
        QPainterPath cross;
        cross.moveTo(0.34, 0.34);
        cross.lineTo(0.66, 0.66);
        cross.moveTo(0.66, 0.34);
        cross.lineTo(0.34, 0.66);
        WhiteStroke(p, cross);
    });
}

// The completion picture: a finished mosaic with a check badge.
void Done(QPainter& painter, QSizeF size) {
    const qreal side = size.width();
    painter.setPen(QPen(QColor("#9fb7c4"), 1));
    painter.setBrush(QColor("#f4f8fa"));
    painter.drawRoundedRect(QRectF(3.5, 3.5, side * 0.78, side * 0.78), 6, 6);
    Mosaic(painter, QRectF(10, 10, side * 0.78 - 13, side * 0.78 - 13));
    painter.save();
    painter.translate(side * 0.52, side * 0.52);
    Check(painter, QSizeF(side * 0.46, side * 0.46));
    painter.restore();
}

void Icon(QPainter& painter, QSizeF size) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor("#1f4e6b"));
    painter.drawRoundedRect(QRectF(QPointF(0, 0), size), size.width() / 6, size.width() / 6);
    const qreal margin = size.width() / 7;
    Mosaic(painter, QRectF(margin, margin, size.width() - 2 * margin, size.width() - 2 * margin));
}

bool Save(const QDir& folder, const QString& name, QSize size,
          const std::function<void(QPainter&, QSizeF)>& draw) {
    for (int scale : {1, 2}) {
        QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(scale, scale);
        draw(painter, QSizeF(size));
        painter.end();
        const QString file = folder.filePath(name + (scale == 1 ? "" : "@2x") + ".png");
        if (!image.save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessary-pictures FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const bool ok =
        Save(folder, "banner", {640, 64}, Banner) && Save(folder, "step", {18, 18}, Step) &&
        Save(folder, "check", {18, 18}, Check) && Save(folder, "cross", {18, 18}, Cross) &&
        Save(folder, "done", {72, 72}, Done) && Save(folder, "icon", {64, 64}, Icon);
    return ok ? 0 : 1;
}
