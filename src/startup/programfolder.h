#pragma once
// The folder the program's own files are read from: the folder of the executable, links
// resolved, whatever the working directory.
//
// Contract: programFolder() needs the application object and gives the same answer for the whole
// run. On Linux the folder is taken from the kernel's own name of the executable, as bytes. Its
// plain path is given wherever that name survives Qt's decoding; a name that is no text in the
// system's encoding (a Latin-2 name unpacked from an old archive onto a UTF-8 system) would come
// back from Qt's text as another name, so that folder is held open for the rest of the run and
// given as /proc/self/fd/<n>, which reaches it all the same.

#include <QByteArray>
#include <QString>

namespace tikvor {

QString programFolder();

// Linux only: the folder of the executable named by these bytes, as above; empty when its name
// does not decode and it cannot be opened.
QString folderOfExecutable(const QByteArray& executable);

} // namespace tikvor
