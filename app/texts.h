#pragma once
#include <QString>

#include "reasons.h"

// Every text the window shows of its own, each written once. The reasons
// that follow a prefix come from the operation that failed.
namespace app {

inline const QString kLoadErrorPrefix = QStringLiteral("error_load_pic: ");
inline const QString kSaveErrorPrefix = QStringLiteral("error_save_pic: ");
inline const QString kDeleteErrorPrefix = QStringLiteral("error_delete_pic: ");
// Out of memory said alone: the shared reason as a sentence, made before
// memory can run short.
inline const QString kOutOfMemory = [] {
    QString text = QString::fromUtf8(core::kNoMemory);
    text[0] = text[0].toUpper();
    return text;
}();
inline const QString kTwainSelectErrorPrefix = QStringLiteral("err_twain_select: ");

inline const QString kSaveQuestion = QStringLiteral(
    "Attention, vous allez enregistrer les modifications apportées par les filtres de manière définitive.");
inline const QString kDeleteQuestion = QStringLiteral("Etes vous sûr de vouloir supprimer cette image ?");
inline const QString kNoClipboardImage = QStringLiteral("Il n'y pas d'image dans le presse-papier");

inline const QString kOpenTitle = QStringLiteral("Selection image");
inline const QString kOpenFilter = QStringLiteral("JPEG|*.jpg|Bitmap|*.BMP|DICOM|*.dcm|Tous|*.*");

}  // namespace app
