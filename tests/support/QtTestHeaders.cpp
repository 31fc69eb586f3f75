// Nothing: the precompiled Qt headers of the Qt test programs are built with this file.
