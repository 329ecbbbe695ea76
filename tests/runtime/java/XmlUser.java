package rt.user;

import rt.xml.*;

/** Drives an XML DOM document as a user would. */
public class XmlUser {
	public static void main( String[] args ) throws MivraException
	{
		DOMDocument30 document = new DOMDocument30();
		IXMLDOMDocument2 doc = document.getIXMLDOMDocument2();
		doc.setAsync( false );
		if ( ! doc.loadXML( "<r a=\"1\">text</r>" ))
			throw new MivraException( "not loaded" );
		doc.setProperty( "SelectionLanguage", new MivraVariant( "XPath" ));
		MivraVariant language = doc.getProperty( "SelectionLanguage" );
		System.out.println( doc.getXml() + doc.getText() + language.getString() + doc.getNodeName() );
		doc.save( new MivraVariant( "C:\\temp\\out.xml" ));
		boolean loaded = doc.load( new MivraVariant( "C:\\temp\\out.xml" ));
		MivraVariant value = doc.getNodeValue();
		System.out.println( loaded + " " + value.getType() + " " + doc.getPreserveWhiteSpace() );
	}
}
