#include "model/BoundedXml.h"

#include <QCoreApplication>

namespace Emulsa::BoundedXml {

namespace {

void refuseTooLong(QXmlStreamReader* xml)
{
    xml->raiseError(QCoreApplication::translate("BoundedXml", "The file holds a text longer than %1 characters")
                        .arg(maxTextLength));
}

} // namespace

QXmlStreamReader::TokenType readNext(QXmlStreamReader* xml)
{
    const QXmlStreamReader::TokenType token = xml->readNext();
    if (token == QXmlStreamReader::DTD) {
        xml->raiseError(
            QCoreApplication::translate("BoundedXml", "Files with a document type definition are not accepted"));
    } else if ((token == QXmlStreamReader::Characters || token == QXmlStreamReader::Comment)
        && xml->text().size() > maxTextLength) {
        refuseTooLong(xml);
    } else if (token == QXmlStreamReader::ProcessingInstruction
        && xml->processingInstructionData().size() > maxTextLength) {
        refuseTooLong(xml);
    }
    return xml->hasError() ? QXmlStreamReader::Invalid : token;
}

bool readNextStartElement(QXmlStreamReader* xml)
{
    while (readNext(xml) != QXmlStreamReader::Invalid) {
        if (xml->isEndElement())
            return false;
        if (xml->isStartElement())
            return true;
    }
    return false;
}

void skipCurrentElement(QXmlStreamReader* xml)
{
    int depth = 1;
    while (depth > 0 && readNext(xml) != QXmlStreamReader::Invalid) {
        if (xml->isEndElement())
            --depth;
        else if (xml->isStartElement())
            ++depth;
    }
}

QString readElementText(QXmlStreamReader* xml, QXmlStreamReader::ReadElementTextBehaviour behaviour)
{
    QString result;
    if (!xml->isStartElement())
        return result;
    for (;;) {
        switch (readNext(xml)) {
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            if (result.size() + xml->text().size() > maxTextLength) {
                refuseTooLong(xml);
                return QString();
            }
            result += xml->text();
            break;
        case QXmlStreamReader::EndElement:
            return result;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        case QXmlStreamReader::StartElement:
            if (behaviour == QXmlStreamReader::SkipChildElements) {
                skipCurrentElement(xml);
                if (xml->hasError())
                    return result;
                break;
            }
            xml->raiseError(QCoreApplication::translate("BoundedXml", "Expected character data"));
            return result;
        default:
            // Invalid (an error or the end of the input) or a token that
            // cannot stand inside an element.
            if (!xml->hasError())
                xml->raiseError(QCoreApplication::translate("BoundedXml", "Expected character data"));
            return result;
        }
    }
}

} // namespace Emulsa::BoundedXml
