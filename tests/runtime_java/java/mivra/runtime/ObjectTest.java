package mivra.runtime;

import static mivra.runtime.MivraVariant.*;
import static org.junit.Assert.*;

import java.util.ArrayList;
import java.util.Iterator;
import java.util.List;
import java.util.NoSuchElementException;
import org.junit.Before;
import org.junit.Test;

/** References: creation, interfaces, closing, adoption, holders, iteration, late binding. */
public class ObjectTest {
    private FakeCom com;

    @Before
    public void setUp() {
        com = new FakeCom();
        ComLayer.install(com);
        com.classes.put("Test.Thing", () -> {
            FakeCom.FakeObject o = com.echoObject();
            o.iids.add(Thing.IID);
            return o;
        });
        com.classes.put("Test.Plain", com::echoObject);
    }

    private static void expect(Class<? extends Throwable> type, String message, Runnable action) {
        try {
            action.run();
            fail("expected " + type.getSimpleName());
        } catch (Throwable e) {
            assertEquals(type, e.getClass());
            if (message != null)
                assertEquals(message, e.getMessage());
        }
    }

    @Test
    public void closingReleasesOnceAndLaterUseThrows() {
        Thing thing = new Thing("Test.Thing");
        long pointer = thing.pointerForCall();
        thing.close();
        thing.close();
        assertEquals(0, com.refs(pointer));
        assertEquals(0, com.overReleases);
        expect(IllegalStateException.class, "This COM object was closed", () -> thing.echo(1, VT_I4));
        expect(IllegalStateException.class, "This COM object was closed", () -> thing.invoke("Echo", 1));
        expect(IllegalStateException.class, "This COM object was closed", () -> new Thing(thing));
        expect(IllegalStateException.class, "This COM object was closed", () -> new Thing("Test.Plain").echo(thing, VT_DISPATCH));
    }

    @Test
    public void creationAndInterfacesFollowTheServer() {
        expect(MivraException.class, "Cannot create \"No.Such\": Invalid class string", () -> new Thing("No.Such"));
        Thing created = new Thing("Test.Thing");
        try (Thing viewed = new Thing(created)) {
            assertEquals(2, com.refs(created.pointerForCall()));
            assertEquals(5, viewed.echo(5, VT_I4));
        }
        assertEquals(1, com.refs(created.pointerForCall()));
        Thing plain = new Thing("Test.Plain");
        expect(ClassCastException.class, "Object/interface passed does not support \"IThing\"", () -> new Thing(plain));
        expect(NullPointerException.class, null, () -> new Thing((MivraObject) null));
        try {
            new Thing("No.Such");
        } catch (MivraException e) {
            assertEquals(0x800401F3, e.getHResult());
        }
    }

    @Test
    public void objectResultsAreNewReferencesAndAdoptionMovesThem() {
        Thing thing = new Thing("Test.Thing");
        long pointer = thing.pointerForCall();
        Object raw = thing.echo(thing, VT_DISPATCH);
        assertEquals(2, com.refs(pointer));
        Thing adopted = MivraObject.mivraAdopt(raw, Thing::new);
        assertEquals("no QueryInterface, no new reference", 2, com.refs(pointer));
        expect(IllegalStateException.class, "This COM object was closed", () -> ((MivraObject) raw).invoke("Echo", 1));
        adopted.close();
        assertEquals(1, com.refs(pointer));
        assertNull(MivraObject.mivraAdopt(null, Thing::new));
        assertNull(thing.echoThing(null));
        // A wrapper that fails gives the reference back.
        Object again = thing.echo(thing, VT_DISPATCH);
        expect(IllegalStateException.class, null, () -> MivraObject.mivraAdopt(again, ref -> {
            throw new IllegalStateException();
        }));
        assertEquals(1, com.refs(pointer));
        expect(IllegalStateException.class, "This reference was taken over already", () -> {
            Object once = thing.echo(thing, VT_DISPATCH);
            MivraObject.mivraAdopt(once, ref -> {
                new Thing(ref);
                return new Thing(ref);
            });
        });
    }

    @Test
    public void byReferenceValuesAreWrittenBack() {
        Thing thing = new Thing("Test.Thing");
        Holder<Integer> number = new Holder<>(21);
        Holder<String> text = new Holder<>();
        MivraVariant variant = MivraVariant.of("in place");
        Holder<MivraVariant> held = new Holder<>(MivraVariant.of(1));
        thing.call(2, 1, VT_EMPTY, new Object[] {number, text, variant, held, MivraObject.MISSING},
                new int[] {VT_BYREF | VT_I4, VT_BYREF | VT_BSTR, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT, VT_BYREF | VT_I4});
        assertArrayEquals(new int[] {VT_BYREF | VT_I4, VT_BYREF | VT_BSTR, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
            VT_ERROR, VT_EMPTY}, com.lastVts);
        assertEquals(42, (int) number.value);
        assertEquals("null!", text.value);
        assertEquals(VT_R8, variant.getVarType());
        assertEquals(1.5, variant.toJava());
        assertEquals(1.5, held.value.toJava());
        expect(IllegalArgumentException.class, null,
                () -> thing.call(2, 1, VT_EMPTY, new Object[] {5}, new int[] {VT_BYREF | VT_I4}));
    }

    private FakeCom.FakeObject collection(Thing owner, int elements) {
        FakeCom.FakeObject source = com.objects.get(owner.pointerForCall());
        for (int i = 0; i < elements; ++i) {
            FakeCom.FakeObject element = com.echoObject();
            element.refs = 1;
            source.elements.add(new Object[] {VT_DISPATCH, element.pointer, null});
        }
        return source;
    }

    @Test
    public void iterationGivesEveryElementAndReleasesTheEnumerator() {
        Thing owner = new Thing("Test.Thing");
        FakeCom.FakeObject source = collection(owner, 40);
        int before = com.live();
        List<Thing> seen = new ArrayList<>();
        for (Iterator<Thing> it = owner.things(); it.hasNext();)
            seen.add(it.next());
        assertEquals(40, seen.size());
        for (int i = 0; i < 40; ++i)
            assertEquals((long) (Long) source.elements.get(i)[1], seen.get(i).pointerForCall());
        assertEquals("the enumerator was released", before, com.live());
        seen.forEach(Thing::close);
        Iterator<MivraVariant> variants = owner.variants();
        assertEquals(VT_DISPATCH, variants.next().getVarType());
        try {
            ((AutoCloseable) variants).close();
        } catch (Exception e) {
            throw new AssertionError(e);
        }
        assertEquals("closing an iteration releases its enumerator", before, com.live());
        Iterator<Thing> empty = new Thing("Test.Plain").things();
        assertFalse(empty.hasNext());
        expect(NoSuchElementException.class, null, empty::next);
    }

    @Test
    public void lateBindingFindsMembersByName() {
        Thing thing = new Thing("Test.Thing");
        assertEquals("text", thing.invoke("Echo", "text"));
        assertArrayEquals(new int[] {VT_BSTR, 0}, com.lastVts);
        assertEquals(1 | 2, com.lastFlags);
        assertEquals(3L, thing.getProperty("echo", 3L));
        assertArrayEquals(new Object[] {1, "x"}, (Object[]) thing.invoke("Echo", (Object) new Object[] {1, "x"}));
        expect(MivraException.class, "Missing: Unknown name.", () -> thing.invoke("Missing"));
        // An object value goes by reference when the server takes only that.
        FakeCom.FakeObject o = com.objects.get(thing.pointerForCall());
        List<Integer> kinds = new ArrayList<>();
        o.member("Child", 7, (self, flags, vts, bits, refs) -> {
            kinds.add(flags);
            if (flags == 4)
                throw new MivraException("0x80020003", 0x80020003);
            vts[vts.length - 1] = VT_EMPTY;
        });
        thing.setProperty("Child", thing);
        assertEquals(List.of(4, 8), kinds);
        expect(MivraException.class, "0x80020003", () -> thing.setProperty("Child", "text"));
        assertEquals(List.of(4, 8, 4), kinds);
    }

    @Test
    public void varargsArePassedOneByOne() {
        Thing thing = new Thing("Test.Thing");
        thing.call(1, 1 | MivraObject.MIVRA_VARARGS, VT_VARIANT, new Object[] {"Sum", new Object[] {1, 2.5, "x"}},
                new int[] {VT_BSTR, VT_ARRAY | VT_VARIANT});
        assertArrayEquals(new int[] {VT_BSTR, VT_I4, VT_R8, VT_BSTR, 0}, com.lastVts);
        assertEquals(1, com.lastFlags);
        thing.call(1, 1 | MivraObject.MIVRA_VARARGS, VT_VARIANT, new Object[] {"Sum", new Object[0]},
                new int[] {VT_BSTR, VT_ARRAY | VT_VARIANT});
        assertArrayEquals(new int[] {VT_BSTR, 0}, com.lastVts);
    }
}
