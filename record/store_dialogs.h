#pragma once
#include <QString>
#include <functional>

namespace record {

// The texts the save, delete and paste operations show.
inline const QString kSaveQuestion = QStringLiteral(
    "Attention, vous allez enregistrer les modifications apportées par les filtres de manière définitive.");
inline const QString kDeleteQuestion = QStringLiteral("Etes vous sûr de vouloir supprimer cette image ?");
inline const QString kNoClipboardImage = QStringLiteral("Il n'y pas d'image dans le presse-papier");
inline const QString kSaveErrorPrefix = QStringLiteral("error_save_pic: ");
inline const QString kLoadErrorPrefix = QStringLiteral("error_load_pic: ");

// The message boxes these operations need; the window provides them (modal,
// no title of their own). A box closed without an answer counts as Cancel/No.
struct StoreDialogs {
    std::function<bool(const QString& text)> ask_ok_cancel;  // question icon; true on OK
    std::function<bool(const QString& text)> ask_yes_no;     // no icon; true on Yes
    std::function<void(const QString& text)> inform;         // information icon, OK
    std::function<void(const QString& text)> report_error;   // no icon, OK
};

}  // namespace record
