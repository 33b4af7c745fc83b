/* The module's version tag. Nothing refers to it; `used` keeps it in the
 * read-only data so that version tools find it in the file. */
__attribute__((used)) static const char versionTag[] = "$VER: yafa.lvp 1.2 (18.05.23) [Linux]";
