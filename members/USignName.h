#pragma once
// Signatures are text files in the data folder's "sign" subfolder, and a magazine names its
// signature (the Sign column) by the file name alone. A name read from the store, a restored
// backup or a file dialog is not trusted: only a bare file name leads to a file, so no name
// reaches outside that folder.
#include <QString>

// True for a bare file name: not empty, no "/" or "\", no "..", no control character or
// line separator.
bool IsSignatureName(const QString &name);

// The signature folder of a data folder (which ends with "/"); no trailing "/".
QString SignatureFolder(const QString &dataDir);

// The signature's file in the signature folder; empty when the name is not a bare file name.
QString SignaturePath(const QString &dataDir, const QString &name);
