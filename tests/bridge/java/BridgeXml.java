import mivra.runtime.MivraVariant;
import mvx.msxml.DOMDocument60;
import mvx.msxml.IXMLDOMDocument3;
import mvx.msxml.IXMLDOMElement;
import mvx.msxml.IXMLDOMNode;
import mvx.msxml.IXMLDOMNodeList;

/** msxml6 through the bridge: a document built, walked, queried and edited. */
public class BridgeXml {
    public static void main(String[] args) {
        try (DOMDocument60 document = new DOMDocument60()) {
            IXMLDOMDocument3 doc = document.getIXMLDOMDocument3();
            IXMLDOMElement root = doc.createElement("stock");
            doc.appendChild(root);
            for (int i = 1; i <= 3; ++i) {
                IXMLDOMElement item = doc.createElement("item");
                item.setAttribute("n", MivraVariant.of(i));
                item.appendChild(doc.createTextNode("thing " + i));
                root.appendChild(item);
            }
            StringBuilder walked = new StringBuilder();
            for (IXMLDOMNode node : root.getChildNodes())
                walked.append(node.getNodeName()).append('=').append(node.getText()).append(';');
            Checks.check(walked.toString().equals("item=thing 1;item=thing 2;item=thing 3;"), "walked: " + walked);
            IXMLDOMNodeList found = doc.selectNodes("/stock/item[@n > 1]");
            Checks.check(found.getLength() == 2, "the query finds two items");
            root.removeChild(found.getItem(0));
            ((IXMLDOMElement) new IXMLDOMElement(root.getFirstChild())).setAttribute("n", MivraVariant.of("first"));
            // msxml6 indents what it writes.
        String xml = doc.getXml().replaceAll(">\\s+<", "><").trim();
            Checks.check(xml.equals("<stock><item n=\"first\">thing 1</item><item n=\"3\">thing 3</item></stock>"),
                    "edited: " + xml);
        }
    }
}
