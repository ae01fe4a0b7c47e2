// The answer models drawn into the main window's controls: the shortage or availability list into a table
// (LVWMancanti) and the documents tree into a tree (TreeView1). Texts are converted from Windows-1252 here.
#pragma once

#include "client/session/answer_documents.h"
#include "client/session/answer_lists.h"

class QTableWidget;
class QTreeWidget;

namespace morven {

// Columns with their headers, one row per model row (item and sub-items), the cell colours, the "INFO"
// image, whole-row selection and grid lines as the model says, and each column as wide as the widest of
// its sizing text and its cells in the list's font. The row order is the model's.
void DisegnaLista(QTableWidget& tabella, const ModelloLista& lista);

// Every node under its parent (parents come first in the model), children in the model's order, the root
// branches expanded. Each item keeps its key (Qt::UserRole) and its index in the model (Qt::UserRole + 1).
void DisegnaDocumenti(QTreeWidget& albero, const ModelloDocumenti& documenti);

}  // namespace morven
