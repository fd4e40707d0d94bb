#ifndef QX_EXPORT_H
#define QX_EXPORT_H

/* Libraries are built with hidden default visibility; only functions marked
 * QX_EXPORT are part of a library's interface. */
#define QX_EXPORT __attribute__((visibility("default")))

/* Plain-function interfaces keep C linkage so that any caller can bind them. */
#ifdef __cplusplus
#define QX_BEGIN_DECLS extern "C" {
#define QX_END_DECLS }
#else
#define QX_BEGIN_DECLS
#define QX_END_DECLS
#endif

#endif
