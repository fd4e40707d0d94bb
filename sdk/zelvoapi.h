// The object layer zelvoapi: everything an application includes.
#ifndef SDK_ZELVOAPI_H
#define SDK_ZELVOAPI_H

#include "sdk/document_xml.h"
#include "sdk/io_xml.h"
#include "sdk/sdk_object.h"
#include "sdk/text_number.h"
#include "sdk/udps.h"
#include "sdk/value_text.h"
#include "sdk/xml_sensor.h"

#endif
