package mvx.msxml;

import java.util.ArrayList;
import java.util.Iterator;
import java.util.List;

import mivra.runtime.MivraObject;
import mvx.bell.Bell;
import mvx.bell.IChime;
import mvx.bell.ILoudChime;
import mvx.shell.Folder;
import mvx.shell.FolderItem;
import mvx.shell.FolderItem2;
import mvx.shell.FolderItems;
import mvx.shell.FolderItems3;
import mvx.shell.Shell;

/**
 * Object results and collection elements in their most derived classes,
 * through the bridge: the test server's chime, which gives no type
 * information, found by the interfaces it answers to; shell32's items, whose
 * collection inherits its Item; msxml6's child nodes iterated, each named by
 * its type information. In msxml's package, to reach its class table as its
 * classes do.
 */
public final class BridgeElementClasses {
    private BridgeElementClasses() {
    }

    /** The node list iterated as a collection class iterates: elements through the package's table. */
    static final class TypedNodes extends IXMLDOMNodeList {
        TypedNodes(MivraObject source) {
            super(source);
        }

        Iterator<IXMLDOMNode> typed() {
            return mivraEnumerate(IXMLDOMNode.class, MivraClasses.TABLE);
        }
    }

    static void check(boolean condition, String what) {
        if (!condition) {
            System.err.println("FAILED: " + what);
            System.exit(1);
        }
        System.out.println("ok: " + what);
    }

    public static void main(String[] args) {
        try (Bell bell = new Bell(); IChime chime = bell.getDBell().Chime()) {
            check(chime instanceof ILoudChime, "the chime is an ILoudChime: " + chime.getClass().getName());
            check(chime.getTone() == 440 && ((ILoudChime) chime).getVolume() == 11, "its members answer");
        }
        // Wine's FolderItems gives no enumerator (E_NOTIMPL): its items are reached by index.
        try (Shell shell = new Shell(); Folder folder = shell.NameSpace("C:\\windows");
                FolderItems items = folder.Items()) {
            check(items instanceof FolderItems3, "the items are a FolderItems3: " + items.getClass().getSimpleName());
            int count = items.getCount();
            check(count > 2, count + " items");
            for (int k = 0; k < 3; ++k)
                try (FolderItem item = items.Item(k)) {
                    check(item instanceof FolderItem2, "item " + k + " is a " + item.getClass().getSimpleName());
                }
        }
        try (DOMDocument60 doc = new DOMDocument60()) {
            check(doc.loadXML("<r><e/>text<!--c--><e/></r>"), "the document loads");
            List<Class<?>> classes = new ArrayList<>();
            try (IXMLDOMElement root = doc.getDocumentElement(); TypedNodes nodes = new TypedNodes(root.getChildNodes())) {
                for (Iterator<IXMLDOMNode> it = nodes.typed(); it.hasNext();)
                    try (IXMLDOMNode node = it.next()) {
                        classes.add(node.getClass());
                    }
            }
            check(classes.equals(List.of(IXMLDOMElement.class, IXMLDOMText.class, IXMLDOMComment.class,
                    IXMLDOMElement.class)), "the child nodes iterate as their classes: " + classes);
        }
        System.out.println("element classes through the bridge: all checks passed");
    }
}
