package mivra.runtime;

import static mivra.runtime.MivraVariant.VT_BSTR;
import static mivra.runtime.MivraVariant.VT_BYREF;
import static mivra.runtime.MivraVariant.VT_DECIMAL;
import static mivra.runtime.MivraVariant.VT_DISPATCH;
import static mivra.runtime.MivraVariant.VT_EMPTY;
import static mivra.runtime.MivraVariant.VT_LPSTR;
import static mivra.runtime.MivraVariant.VT_LPWSTR;
import static mivra.runtime.MivraVariant.VT_VARIANT;

import java.lang.ref.Cleaner;
import java.lang.ref.Reference;
import java.util.Iterator;
import java.util.NoSuchElementException;
import java.util.Objects;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.function.Consumer;
import java.util.function.Function;

/**
 * One reference to a COM object, reached through its {@code IDispatch}. The
 * generated classes extend it; it also calls any member by name.
 *
 * <p>Closing releases the reference; an object nobody closes is released by a
 * {@link Cleaner} once it is unreachable, on the apartment it was made in (see
 * {@link Apartment} for the rules of threads).
 */
public class MivraObject implements AutoCloseable {
    private static final Cleaner CLEANER = Cleaner.create();
    private static final int DISPID_NEWENUM = -4;
    private static final int DISPATCH_METHOD = 1;
    private static final int DISPATCH_PROPERTYGET = 2;
    private static final int DISPATCH_PROPERTYPUT = 4;
    private static final int DISPATCH_PROPERTYPUTREF = 8;

    /** A call's invokeKind: a method. */
    protected static final int METHOD = DISPATCH_METHOD;
    /** A call's invokeKind: a property read. */
    protected static final int PROPERTYGET = DISPATCH_PROPERTYGET;
    /** A call's invokeKind: a property write. */
    protected static final int PROPERTYPUT = DISPATCH_PROPERTYPUT;
    /** A call's invokeKind: a property write by reference. */
    protected static final int PROPERTYPUTREF = DISPATCH_PROPERTYPUTREF;
    private static final int DISP_E_MEMBERNOTFOUND = 0x80020003;
    private static final int ENUM_BATCH = 16;

    /**
     * Added to a call's invokeKind for a vararg function: the last argument,
     * an {@code Object[]} (declared {@code VT_ARRAY | VT_VARIANT}), is passed as
     * that many separate arguments, the way IDispatch takes variable arguments.
     */
    protected static final int MIVRA_VARARGS = 0x10000;

    /**
     * An argument left out: passed as {@code VT_ERROR} with
     * {@code DISP_E_PARAMNOTFOUND}, so the server applies its default.
     */
    public static final Object MISSING = new Object() {
        @Override
        public String toString() {
            return "MISSING";
        }
    };

    /**
     * A COM reference on its way from the runtime into a generated class,
     * which takes it over without asking the object for anything.
     */
    public static final class Ref {
        private long pointer;
        private final boolean dispatch;
        private final Apartment home;

        Ref(long pointer, boolean dispatch, Apartment home) {
            this.pointer = pointer;
            this.dispatch = dispatch;
            this.home = home;
        }

        private long take() {
            long taken = pointer;
            if (taken == 0)
                throw new IllegalStateException("This reference was taken over already");
            pointer = 0;
            return taken;
        }

        // A reference no object took over goes back where it came from.
        private void dropIfUntaken() {
            if (pointer != 0)
                home.release(take());
        }
    }

    // What the cleaner needs; it must not reach the MivraObject itself.
    private static final class Handle implements Runnable {
        volatile long pointer;
        final Apartment home;
        // Interfaces asked for by vtable calls, by IID; released with the object.
        private java.util.Map<String, Long> interfaces;

        Handle(long pointer, Apartment home) {
            this.pointer = pointer;
            this.home = home;
        }

        synchronized Long interfaceOf(String iid) {
            return interfaces == null ? null : interfaces.get(iid);
        }

        synchronized void keepInterface(String iid, long pointer) {
            if (interfaces == null)
                interfaces = new java.util.HashMap<>();
            interfaces.put(iid, pointer);
        }

        @Override
        public void run() {
            long taken = pointer;
            pointer = 0;
            java.util.Map<String, Long> asked;
            synchronized (this) {
                asked = interfaces;
                interfaces = null;
            }
            if (asked != null)
                for (long p : asked.values())
                    home.release(p);
            if (taken != 0)
                home.release(taken);
        }
    }

    private final Handle handle;
    private final boolean dispatch;
    private final Cleaner.Cleanable cleanable;
    // The IID the object's type information names, as the call that returned it found ("" none); null not asked.
    private String typeInfoIid;

    /**
     * Takes over a reference the runtime hands out.
     *
     * @param ref the reference, owned from now on by this object
     */
    protected MivraObject(Ref ref) {
        Objects.requireNonNull(ref, "ref");
        dispatch = ref.dispatch;
        handle = new Handle(ref.take(), ref.home);
        cleanable = CLEANER.register(this, handle);
    }

    /**
     * Asks another object for an interface ({@code QueryInterface}).
     *
     * @param source the object asked; it keeps its own reference
     * @param iid the interface identifier, braced ("{...}")
     * @param interfaceName the interface's name, for the message
     * @throws ClassCastException when the object does not support the interface
     * @throws NullPointerException when source is null
     */
    protected MivraObject(MivraObject source, String iid, String interfaceName) {
        this(queried(source, iid, interfaceName));
    }

    private static Ref queried(MivraObject source, String iid, String interfaceName) {
        Objects.requireNonNull(source, "The object to take \"" + interfaceName + "\" from is null");
        Apartment home = source.enter();
        long pointer = ComLayer.get().queryInterface(source.pointer(), iid);
        Reference.reachabilityFence(source);
        if (pointer == 0)
            throw new ClassCastException("Object/interface passed does not support \"" + interfaceName + "\"");
        return new Ref(pointer, true, home);
    }

    /**
     * Creates a COM object ({@code CoCreateInstance} in any server context), or
     * finds the running one ({@code GetActiveObject}).
     *
     * @param classId a ProgID, or a braced CLSID ("{...}")
     * @param find true to take the running object instead of creating one
     * @throws MivraException with the HRESULT when there is no such class or object
     */
    protected MivraObject(String classId, boolean find) {
        this(created(classId, find));
    }

    private static Ref created(String classId, boolean find) {
        Objects.requireNonNull(classId, "classId");
        Apartment home = Apartment.current();
        home.drain();
        return new Ref(ComLayer.get().create(classId, find), true, home);
    }

    /** An object of a pointer the runtime got and owns. */
    static MivraObject adopted(long pointer, boolean dispatch, Apartment home) {
        return new MivraObject(new Ref(pointer, dispatch, home));
    }

    /** Checks the calling thread, does its queued releases, and gives its apartment. */
    private Apartment enter() {
        Apartment home = handle.home.checkCaller();
        home.drain();
        return home;
    }

    private long pointer() {
        long pointer = handle.pointer;
        if (pointer == 0)
            throw new IllegalStateException("This COM object was closed");
        return pointer;
    }

    private long dispatchPointer() {
        long pointer = pointer();
        if (!dispatch)
            throw new IllegalStateException("This COM object has no IDispatch; take one of its interfaces first");
        return pointer;
    }

    /** The pointer for an argument: the object must be usable on the calling thread. */
    long pointerForCall() {
        handle.home.checkCaller();
        return pointer();
    }

    boolean isDispatch() {
        return dispatch;
    }

    /**
     * Calls a member through {@code IDispatch::Invoke}: the form every
     * generated method uses.
     *
     * @param dispId the member's DISPID
     * @param invokeKind 1 method, 2 property get, 4 property put, 8 put by reference;
     *        plus {@link #MIVRA_VARARGS} for a vararg function
     * @param resultVt the declared VARTYPE of the result ({@code VT_EMPTY} for none,
     *        {@code VT_ARRAY} combined with the element type for a SAFEARRAY); the
     *        result is converted to it and returned as its Java value, as
     *        {@link MivraVariant} lists them
     * @param args the arguments in declaration order; for a put the value is
     *        the last one; {@link #MISSING} for an omitted optional argument; a
     *        {@link Holder} or a {@link MivraVariant} for a by-reference argument
     * @param argVts the declared VARTYPE of each argument (enumerations as
     *        {@code VT_I4}, interface pointers as {@code VT_DISPATCH} or
     *        {@code VT_UNKNOWN}), with {@code VT_BYREF} for by-reference and
     *        {@code VT_ARRAY} for SAFEARRAY arguments
     * @return the result's Java value, null for none
     * @throws MivraException when the call fails
     * @throws IllegalStateException when the object is closed
     */
    protected final Object mivraCall(int dispId, int invokeKind, int resultVt, Object[] args, int[] argVts) {
        if (args == null || args.length != 0 || argVts == null || argVts.length != 0
                || (invokeKind & MIVRA_VARARGS) != 0)
            return callWithArguments(dispId, invokeKind, resultVt, args, argVts);
        return mivraCall(dispId, invokeKind, resultVt);
    }

    /**
     * Calls a member without arguments through {@code IDispatch::Invoke}: the
     * form of property reads and of methods without parameters, as
     * {@link #mivraCall(int, int, int, Object[], int[])} with no arguments.
     *
     * @param dispId the member's DISPID
     * @param invokeKind 1 method, 2 property get
     * @param resultVt the declared VARTYPE of the result ({@code VT_EMPTY} for none)
     * @return the result's Java value, null for none
     * @throws MivraException when the call fails
     * @throws IllegalStateException when the object is closed
     */
    protected final Object mivraCall(int dispId, int invokeKind, int resultVt) {
        int shape = Wire.resultShape(resultVt);
        if (shape != Wire.BITS && shape != Wire.REF)
            return callWithArguments(dispId, invokeKind, resultVt, NO_ARGUMENTS, NO_TYPES);
        long pointer = enterCall();
        Object result = shape == Wire.BITS
                ? Wire.decode(resultVt, ComLayer.get().invokeBits(pointer, dispId, invokeKind, resultVt, 0, null, null),
                        null, false, null)
                : Wire.decodeRef(resultVt, ComLayer.get().invokeRef(pointer, dispId, invokeKind, resultVt, 0, null, null),
                        handle.home);
        Reference.reachabilityFence(this);
        return result;
    }

    private static final Object[] NO_ARGUMENTS = {};
    private static final int[] NO_TYPES = {};
    private static final long[] NO_SLOTS = {};

    /** Checks the calling thread, does its queued releases, and gives the IDispatch pointer. */
    private long enterCall() {
        Apartment home = handle.home;
        home.checkCaller();
        home.drain();
        long pointer = handle.pointer;
        return pointer != 0 && dispatch ? pointer : dispatchPointer();
    }

    private Object callWithArguments(int dispId, int invokeKind, int resultVt, Object[] args, int[] argVts) {
        if ((invokeKind & MIVRA_VARARGS) != 0)
            return mivraCall(dispId, invokeKind & ~MIVRA_VARARGS, resultVt, spread(args), spreadTypes(args, argVts));
        long pointer = enterCall();
        int n = args == null ? 0 : args.length;
        if ((argVts == null ? 0 : argVts.length) != n)
            throw new IllegalArgumentException(n + " arguments but " + (argVts == null ? 0 : argVts.length) + " types");
        int shape = Wire.resultShape(resultVt);
        if (shape == Wire.FRAME)
            return frameCall(pointer, dispId, invokeKind, resultVt, args, argVts, n);
        // The bits first, then the VARTYPEs: one array for the native half to read.
        long[] slots = n == 0 ? NO_SLOTS : new long[2 * n];
        Object[] refs = n == 0 ? NO_ARGUMENTS : new Object[n];
        boolean byRef = false;
        for (int i = 0; i < n; ++i) {
            int vt = encodeArgument(args[i], argVts[i], slots, refs, i);
            if (vt == VT_BSTR && refs[i] != null)
                slots[i] = ((String) refs[i]).length();
            slots[n + i] = vt;
            byRef |= (argVts[i] & VT_BYREF) != 0;
        }
        Object result;
        if (shape == Wire.OBJECT) {
            String[] iid = new String[1];
            long object = ComLayer.get().invokeObject(pointer, dispId, invokeKind, resultVt, n, slots, refs, iid);
            MivraObject adopted = object == 0 ? null : adopted(object, true, handle.home);
            if (adopted != null)
                adopted.typeInfoIid = iid[0];
            if (byRef)
                writeBacks(handle.home, n, args, argVts, slots, refs);
            result = adopted;
        } else if (shape == Wire.ANY) {
            long[] slot = new long[2];
            Object ref = ComLayer.get().invokeVariant(pointer, dispId, invokeKind, resultVt, n, slots, refs, slot);
            MivraVariant value = Wire.variant((int) slot[0], slot[1], ref, handle.home);
            if (byRef)
                writeBacks(handle.home, n, args, argVts, slots, refs);
            result = value;
        } else if (shape == Wire.BITS) {
            long value = ComLayer.get().invokeBits(pointer, dispId, invokeKind, resultVt, n, slots, refs);
            if (byRef)
                writeBacks(handle.home, n, args, argVts, slots, refs);
            result = Wire.decode(resultVt, value, null, false, null);
        } else {
            Object value = ComLayer.get().invokeRef(pointer, dispId, invokeKind, resultVt, n, slots, refs);
            if (byRef)
                writeBacks(handle.home, n, args, argVts, slots, refs);
            result = Wire.decodeRef(resultVt, value, handle.home);
        }
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(args);
        return result;
    }

    private static void writeBacks(Apartment home, int n, Object[] args, int[] argVts, long[] slots, Object[] refs) {
        for (int i = 0; i < n; ++i)
            if ((argVts[i] & VT_BYREF) != 0 && args[i] != MISSING)
                writeBack(args[i], argVts[i], (int) slots[n + i], slots[i], refs[i], home);
    }

    // A result that needs its frame slot (an IUnknown).
    private Object frameCall(long pointer, int dispId, int invokeKind, int resultVt, Object[] args, int[] argVts, int n) {
        int[] vts = new int[n + 1];
        long[] bits = new long[n + 1];
        Object[] refs = new Object[n + 1];
        for (int i = 0; i < n; ++i)
            vts[i] = encodeArgument(args[i], argVts[i], bits, refs, i);
        ComLayer.get().invoke(pointer, dispId, invokeKind, resultVt, vts, bits, refs);
        return results(handle.home, resultVt, args, argVts, vts, bits, refs);
    }

    private static void writeBacks(Apartment home, int n, Object[] args, int[] argVts, int[] vts, long[] bits,
            Object[] refs) {
        for (int i = 0; i < n; ++i)
            if ((argVts[i] & VT_BYREF) != 0 && args[i] != MISSING)
                writeBack(args[i], argVts[i], vts[i], bits[i], refs[i], home);
    }

    // Writes the by-reference arguments back and decodes the result slot.
    private Object results(Apartment home, int resultVt, Object[] args, int[] argVts, int[] vts, long[] bits,
            Object[] refs) {
        int n = vts.length - 1;
        Object result;
        try {
            writeBacks(home, n, args, argVts, vts, bits, refs);
        } finally {
            result = resultVt == VT_EMPTY ? null
                    : resultVt == VT_VARIANT ? Wire.variant(vts[n], bits[n], refs[n], home)
                    : Wire.decode(vts[n], bits[n], refs[n], false, home);
            if (result instanceof MivraObject && refs[n] instanceof String)
                ((MivraObject) result).typeInfoIid = (String) refs[n];
        }
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(args);
        return result;
    }

    private static Object[] spread(Object[] args) {
        Object[] rest = args.length == 0 || args[args.length - 1] == null ? new Object[0] : (Object[]) args[args.length - 1];
        Object[] all = new Object[args.length - 1 + rest.length];
        System.arraycopy(args, 0, all, 0, args.length - 1);
        System.arraycopy(rest, 0, all, args.length - 1, rest.length);
        return all;
    }

    private static int[] spreadTypes(Object[] args, int[] argVts) {
        int rest = args.length == 0 || args[args.length - 1] == null ? 0 : ((Object[]) args[args.length - 1]).length;
        int[] all = java.util.Arrays.copyOf(argVts, argVts.length - 1 + rest);
        java.util.Arrays.fill(all, argVts.length - 1, all.length, VT_VARIANT);
        return all;
    }

    /** Puts an argument's bits and reference into slot i and gives its VARTYPE on the wire. */
    private static int encodeArgument(Object arg, int vt, long[] bits, Object[] refs, int i) {
        if (vt == VT_VARIANT && arg == null)
            return VT_DISPATCH; // VBScript's Nothing.
        if ((vt & VT_BYREF) == 0 || arg == MISSING)
            return Wire.encode(arg, vt, bits, refs, i);
        int base = vt & ~VT_BYREF;
        if (base == VT_VARIANT) {
            if (arg instanceof MivraVariant && ((MivraVariant) arg).isConstant())
                throw new IllegalArgumentException("MivraVariant.EMPTY and MivraVariant.NULL cannot take what a call "
                        + "returns by reference; pass a new MivraVariant");
            Object value = arg instanceof Holder ? ((Holder<?>) arg).value : arg;
            Object[] inner = Wire.frame(1);
            Wire.encode(value, VT_VARIANT, (int[]) inner[0], (long[]) inner[1], (Object[]) inner[2], 0);
            refs[i] = inner;
            return vt;
        }
        if (!(arg instanceof Holder))
            throw new IllegalArgumentException("A by-reference argument of " + Wire.typeName(vt) + " needs a Holder, not "
                    + (arg == null ? "null" : arg.getClass().getName()));
        Object value = ((Holder<?>) arg).value;
        if (value != null)
            Wire.encode(value, base, bits, refs, i);
        else if (base == VT_DECIMAL)
            refs[i] = new long[2];
        return (base == VT_LPWSTR || base == VT_LPSTR ? VT_BSTR : base) | VT_BYREF;
    }

    @SuppressWarnings("unchecked")
    private static void writeBack(Object arg, int vt, int newVt, long bits, Object ref, Apartment home) {
        if ((vt & ~VT_BYREF) == VT_VARIANT) {
            Object[] inner = (Object[]) ref;
            MivraVariant value = Wire.variant(((int[]) inner[0])[0], ((long[]) inner[1])[0], ((Object[]) inner[2])[0], home);
            if (arg instanceof MivraVariant)
                ((MivraVariant) arg).setUnchecked(value.getVarType(), value.toJava());
            else
                ((Holder<Object>) arg).value = value;
            return;
        }
        ((Holder<Object>) arg).value = Wire.decode(newVt, bits, ref, false, home);
    }

    /**
     * Hands the reference of an object result to a generated class.
     *
     * @param <T> the generated class
     * @param raw a result of {@link #mivraCall}: a MivraObject, or null
     * @param wrap the class's constructor from {@link Ref}
     * @return the wrapped object, or null for a null result
     */
    protected static <T> T mivraAdopt(Object raw, Function<Ref, T> wrap) {
        if (raw == null)
            return null;
        MivraObject object = (MivraObject) raw;
        long pointer = object.pointer();
        object.handle.pointer = 0;
        object.cleanable.clean();
        Ref ref = new Ref(pointer, object.dispatch, object.handle.home);
        try {
            return wrap.apply(ref);
        } finally {
            ref.dropIfUntaken();
        }
    }

    /**
     * Hands the reference of an object result to the most derived generated
     * class the object is known to be: the class of the interface its own type
     * information names ({@code IDispatch::GetTypeInfo}); when it gives none,
     * the most derived of the declared class's generated subclasses whose
     * interface it answers to ({@code QueryInterface}), for a declared
     * {@code IDispatch} ({@code MivraObject}) the default interface of a coclass
     * of the table that it answers to; among several of the same rank a
     * coclass's default interface, then the last added to the table; else the
     * declared class.
     *
     * @param <T> the declared class
     * @param raw a result of {@link #mivraCall}: a MivraObject, or null
     * @param declared the class the member declares
     * @param table the package's classes
     * @return the wrapped object, an instance of declared, or null for a null result
     */
    protected static <T> T mivraAdopt(Object raw, Class<T> declared, ClassTable table) {
        if (raw == null)
            return null;
        Objects.requireNonNull(declared, "declared");
        Objects.requireNonNull(table, "table");
        MivraObject object = (MivraObject) raw;
        if (declared.isInstance(object) && object.getClass() != MivraObject.class)
            return declared.cast(object);
        Apartment home = object.enter();
        long pointer = object.pointer();
        ClassTable.Entry chosen = null;
        long answered = 0;
        if (object.dispatch) {
            String iid = object.typeInfoIid != null ? object.typeInfoIid : ComLayer.get().typeInfoIid(pointer);
            ClassTable.Entry named = iid == null || iid.isEmpty() ? null : table.byIid(iid);
            if (named != null && declared.isAssignableFrom(named.type))
                chosen = named;
        }
        if (chosen == null) {
            java.util.List<ClassTable.Entry> answering = new java.util.ArrayList<>();
            java.util.Map<ClassTable.Entry, Long> pointers = new java.util.HashMap<>();
            try {
                for (ClassTable.Entry e : table.candidates(declared)) {
                    long p = ComLayer.get().queryInterface(pointer, e.iid);
                    if (p != 0) {
                        answering.add(e);
                        pointers.put(e, p);
                    }
                }
                chosen = ClassTable.choose(answering);
                if (chosen != null)
                    answered = pointers.remove(chosen);
            } finally {
                for (long p : pointers.values())
                    ComLayer.get().release(p);
            }
        }
        Reference.reachabilityFence(object);
        Function<Ref, ? extends MivraObject> wrap;
        if (chosen != null) {
            wrap = chosen.wrap;
        } else {
            ClassTable.Entry own = table.byClass(declared);
            wrap = own != null ? own.wrap : declared == MivraObject.class ? MivraObject::new : constructorOf(declared);
        }
        if (answered != 0) {
            // The interface's own pointer: its IDispatch knows that interface's members.
            object.close();
            return declared.cast(wrapRef(new Ref(answered, true, home), wrap));
        }
        return declared.cast(mivraAdopt(object, wrap));
    }

    private static <T> T wrapRef(Ref ref, Function<Ref, T> wrap) {
        try {
            return wrap.apply(ref);
        } finally {
            ref.dropIfUntaken();
        }
    }

    private static final ClassValue<Function<Ref, MivraObject>> CONSTRUCTORS = new ClassValue<>() {
        @Override
        protected Function<Ref, MivraObject> computeValue(Class<?> type) {
            java.lang.reflect.Constructor<?> c;
            try {
                c = type.getDeclaredConstructor(Ref.class);
                c.setAccessible(true);
            } catch (NoSuchMethodException | RuntimeException e) {
                throw new IllegalArgumentException(type.getName() + " has no constructor from MivraObject.Ref", e);
            }
            return ref -> {
                try {
                    return (MivraObject) c.newInstance(ref);
                } catch (java.lang.reflect.InvocationTargetException e) {
                    Throwable cause = e.getCause();
                    if (cause instanceof RuntimeException)
                        throw (RuntimeException) cause;
                    if (cause instanceof Error)
                        throw (Error) cause;
                    throw new IllegalStateException(cause);
                } catch (ReflectiveOperationException e) {
                    throw new IllegalStateException(e);
                }
            };
        }
    };

    private static Function<Ref, MivraObject> constructorOf(Class<?> type) {
        if (!MivraObject.class.isAssignableFrom(type))
            throw new IllegalArgumentException(type.getName() + " is not a class of COM objects");
        return CONSTRUCTORS.get(type);
    }

    private static final ClassValue<String> IIDS = new ClassValue<>() {
        @Override
        protected String computeValue(Class<?> type) {
            // A coclass's class names no IID of its own: it is its default interface's.
            for (Class<?> c = type; c != null && c != MivraObject.class; c = c.getSuperclass()) {
                try {
                    java.lang.reflect.Field field = c.getDeclaredField("IID");
                    field.setAccessible(true);
                    return (String) field.get(null);
                } catch (NoSuchFieldException e) {
                    continue;
                } catch (ReflectiveOperationException | RuntimeException e) {
                    throw new IllegalArgumentException(c.getName() + ".IID cannot be read", e);
                }
            }
            return null;
        }
    };

    private static String iidOf(Class<?> type) {
        String iid = IIDS.get(type);
        if (iid == null)
            throw new IllegalArgumentException(type.getName() + " has no static String IID");
        return iid;
    }

    /**
     * The object as an instance of a generated class: the object itself when it
     * is one already, else a new reference through the class's interface
     * ({@code QueryInterface} for the class's {@code IID}), to be closed on its own.
     *
     * @param <T> the generated class
     * @param type the class
     * @return the object as that class
     * @throws ClassCastException when the object does not support the class's interface
     */
    public final <T extends MivraObject> T as(Class<T> type) {
        Objects.requireNonNull(type, "type");
        if (type.isInstance(this))
            return type.cast(this);
        String iid = iidOf(type);
        Apartment home = enter();
        long p = ComLayer.get().queryInterface(pointer(), iid);
        Reference.reachabilityFence(this);
        if (p == 0)
            throw new ClassCastException("The object does not support " + type.getSimpleName() + " (" + iid + ")");
        return type.cast(wrapRef(new Ref(p, true, home), constructorOf(type)));
    }

    /**
     * Calls a function of an interface that derives from {@code IDispatch}
     * without being dual, through its vtable ({@code DispCallFunc}): for
     * servers that implement the vtable but not {@code IDispatch::Invoke}.
     *
     * @param iid the interface's identifier, braced ("{...}"); the object is
     *        asked for it once ({@code QueryInterface})
     * @param slot the function's index in the vtable (IUnknown's first is 0)
     * @param resultVt the VARTYPE of the {@code [out,retval]} parameter, {@code VT_EMPTY} for none
     * @param args the other parameters in declaration order, as for {@link #mivraCall}
     * @param argVts their VARTYPEs, {@code VT_BYREF} for {@code [out]} and {@code [in,out]}
     * @return the result's Java value, null for none
     * @throws MivraException for a failing HRESULT (with the server's IErrorInfo text when it gives one)
     * @throws ClassCastException when the object does not support the interface
     */
    protected final Object mivraVtblCall(String iid, int slot, int resultVt, Object[] args, int[] argVts) {
        Apartment home = enter();
        long pointer = interfacePointer(iid);
        int n = args == null ? 0 : args.length;
        if ((argVts == null ? 0 : argVts.length) != n)
            throw new IllegalArgumentException(n + " arguments but " + (argVts == null ? 0 : argVts.length) + " types");
        int[] vts = new int[n + 1];
        long[] bits = new long[n + 1];
        Object[] refs = new Object[n + 1];
        for (int i = 0; i < n; ++i) {
            vts[i] = encodeArgument(args[i], argVts[i], bits, refs, i);
            if (vts[i] == VT_DISPATCH && args[i] instanceof MivraObject)
                bits[i] = ((MivraObject) args[i]).parameterPointer();
        }
        ComLayer.get().vtblCall(pointer, slot, iid, resultVt, n == 0 ? new int[0] : argVts.clone(), vts, bits, refs);
        return results(home, resultVt, args, argVts, vts, bits, refs);
    }

    /**
     * The pointer of an object argument of a vtable call: the interface of its
     * class, which is the parameter's declared one or derives from it, since
     * the IDispatch an object came with may be another interface's.
     */
    private long parameterPointer() {
        String iid = getClass() == MivraObject.class ? null : IIDS.get(getClass());
        return iid == null ? pointerForCall() : interfacePointer(iid);
    }

    private long interfacePointer(String iid) {
        String key = ClassTable.key(iid);
        Long known = handle.interfaceOf(key);
        if (known != null)
            return known;
        long p = ComLayer.get().queryInterface(pointer(), key);
        if (p == 0)
            throw new ClassCastException("The object does not support the interface " + iid);
        handle.keepInterface(key, p);
        return p;
    }

    /**
     * Iterates the collection through {@code DISPID_NEWENUM} and {@code IEnumVARIANT}.
     *
     * @param <T> the generated class of the elements
     * @param wrap the element class's constructor from {@link Ref}
     * @return an iterator over the elements (null elements stay null)
     */
    protected final <T> Iterator<T> mivraEnumerate(Function<Ref, T> wrap) {
        Objects.requireNonNull(wrap, "wrap");
        return new Elements<>(this, VT_DISPATCH, (home, vt, bits, ref) -> {
            if (bits == 0)
                return null;
            Ref element = new Ref(bits, true, home);
            try {
                return wrap.apply(element);
            } finally {
                element.dropIfUntaken();
            }
        });
    }

    /**
     * Iterates the collection through {@code DISPID_NEWENUM} and {@code IEnumVARIANT},
     * each element an instance of the most derived class the package's table
     * gives it, as {@link #mivraAdopt(Object, Class, ClassTable)} chooses.
     *
     * @param <T> the declared class of the elements
     * @param declared that class
     * @param table the package's classes
     * @return an iterator over the elements (null elements stay null)
     */
    protected final <T> Iterator<T> mivraEnumerate(Class<T> declared, ClassTable table) {
        Objects.requireNonNull(declared, "declared");
        Objects.requireNonNull(table, "table");
        return new Elements<>(this, VT_DISPATCH, (home, vt, bits, ref) -> {
            if (bits == 0)
                return null;
            MivraObject element = adopted(bits, true, home);
            element.typeInfoIid = ref instanceof String ? (String) ref : null;
            try {
                return mivraAdopt(element, declared, table);
            } catch (RuntimeException | Error e) {
                element.close();
                throw e;
            }
        });
    }

    /**
     * Iterates the collection through {@code DISPID_NEWENUM} and {@code IEnumVARIANT}.
     *
     * @return an iterator over the elements as variants
     */
    protected final Iterator<MivraVariant> mivraEnumerate() {
        return new Elements<>(this, VT_VARIANT, (home, vt, bits, ref) -> Wire.variant(vt, bits, ref, home));
    }

    private interface ElementReader<T> {
        T read(Apartment home, int vt, long bits, Object ref);
    }

    /**
     * The elements of IEnumVARIANT, fetched in batches and made Java objects at
     * once (so nothing fetched is lost if the iteration stops). The enumerator
     * is released at the end, by {@link #close()}, or by the cleaner.
     */
    private static final class Elements<T> implements Iterator<T>, AutoCloseable {
        private final Handle enumerator;
        private final Cleaner.Cleanable cleanable;
        private final int elementVt;
        private final ElementReader<T> reader;
        private final Object[] buffer = new Object[ENUM_BATCH];
        private int count;
        private int position;

        Elements(MivraObject collection, int elementVt, ElementReader<T> reader) {
            Apartment home = collection.enter();
            long pointer = ComLayer.get().newEnum(collection.dispatchPointer());
            Reference.reachabilityFence(collection);
            this.enumerator = new Handle(pointer, home);
            this.cleanable = CLEANER.register(this, enumerator);
            this.elementVt = elementVt;
            this.reader = reader;
        }

        @Override
        public boolean hasNext() {
            if (position < count)
                return true;
            if (enumerator.pointer == 0)
                return false;
            Apartment home = enumerator.home.checkCaller();
            home.drain();
            int[] vts = new int[ENUM_BATCH];
            long[] bits = new long[ENUM_BATCH];
            Object[] refs = new Object[ENUM_BATCH];
            int fetched = ComLayer.get().next(enumerator.pointer, elementVt, vts, bits, refs);
            RuntimeException failure = null;
            for (int k = 0; k < fetched; ++k) {
                try {
                    buffer[k] = reader.read(home, vts[k], bits[k], refs[k]);
                } catch (RuntimeException e) {
                    failure = failure == null ? e : failure;
                }
            }
            count = fetched;
            position = 0;
            if (fetched < ENUM_BATCH)
                close();
            Reference.reachabilityFence(this);
            if (failure != null)
                throw failure;
            return fetched > 0;
        }

        @Override
        @SuppressWarnings("unchecked")
        public T next() {
            if (!hasNext())
                throw new NoSuchElementException();
            T element = (T) buffer[position];
            buffer[position++] = null;
            return element;
        }

        /** Releases the enumerator; the elements already fetched stay. */
        @Override
        public void close() {
            cleanable.clean();
        }
    }

    /**
     * Calls a method by name (late binding).
     *
     * @param member the member's name
     * @param args the arguments; their types follow from their Java classes as in {@link MivraVariant#of},
     *        null is {@code Nothing}
     * @return the result's Java value, as {@link MivraVariant#toJava} gives it
     */
    public final Object invoke$(String member, Object... args) {
        return lateCall(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
    }

    /**
     * Calls a method by name (late binding).
     *
     * @param member the member's name
     * @param args the arguments
     * @return the result's Java value
     * @deprecated a member of the library may have this name; use {@link #invoke$}
     */
    @Deprecated
    public Object invoke(String member, Object... args) {
        return invoke$(member, args);
    }

    private Object lateCall(String name, int kind, Object[] args) {
        Object[] values = args == null ? new Object[] {null} : args;
        int[] vts = new int[values.length];
        for (int i = 0; i < values.length; ++i)
            vts[i] = values[i] instanceof Holder ? VT_BYREF | VT_VARIANT : VT_VARIANT;
        Object result = mivraCall(dispIdOf(name), kind, VT_VARIANT, values, vts);
        for (Object value : values)
            if (value instanceof Holder && ((Holder<?>) value).value instanceof MivraVariant) {
                @SuppressWarnings("unchecked")
                Holder<Object> holder = (Holder<Object>) value;
                holder.value = ((MivraVariant) holder.value).toJava();
            }
        return ((MivraVariant) result).toJava();
    }

    private int dispIdOf(String name) {
        Objects.requireNonNull(name, "name");
        enter();
        int id = ComLayer.get().dispIdOf(dispatchPointer(), name);
        Reference.reachabilityFence(this);
        return id;
    }

    /**
     * Reads a property by name (late binding).
     *
     * @param name the property's name
     * @param args the arguments of an indexed property
     * @return the value's Java value
     */
    public final Object getProperty$(String name, Object... args) {
        // As script hosts ask: some servers answer property gets only so.
        return lateCall(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
    }

    /**
     * Reads a property by name (late binding).
     *
     * @param name the property's name
     * @param args the arguments of an indexed property
     * @return the value's Java value
     * @deprecated a member of the library may have this name; use {@link #getProperty$}
     */
    @Deprecated
    public Object getProperty(String name, Object... args) {
        return getProperty$(name, args);
    }

    /**
     * Sets a property by name (late binding).
     *
     * @param name the property's name
     * @param value the new value
     * @deprecated a member of the library may have this name; use {@link #setProperty$}
     */
    @Deprecated
    public void setProperty(String name, Object value) {
        setProperty$(name, value);
    }

    /**
     * Sets a property by name (late binding).
     *
     * @param name the property's name
     * @param value the new value
     */
    public final void setProperty$(String name, Object value) {
        int id = dispIdOf(name);
        Object[] args = {value};
        int[] vts = {VT_VARIANT};
        try {
            mivraCall(id, DISPATCH_PROPERTYPUT, VT_EMPTY, args, vts);
        } catch (MivraException e) {
            // An object property that only takes a reference (propputref).
            if (!(value instanceof MivraObject) || e.getHResult() != DISP_E_MEMBERNOTFOUND)
                throw e;
            mivraCall(id, DISPATCH_PROPERTYPUTREF, VT_EMPTY, args, vts);
        }
    }

    // Events.

    private static final Consumer<Throwable> PRINT = e -> {
        System.err.print("Exception in a COM event listener: ");
        e.printStackTrace();
    };
    private static volatile Consumer<? super Throwable> eventExceptionHandler = PRINT;

    /**
     * Connects a listener to the object's events of one source interface
     * (IConnectionPointContainer::FindConnectionPoint, then Advise). The
     * generated {@code add<E>Listener} methods call it; it serves as well for an
     * object obtained through another call:
     * {@code obj.addListener(new DWebBrowserEvents2.Adapter(), listener)}.
     * The events arrive as {@link Apartment} describes.
     *
     * @param <L> the listener interface
     * @param adapter the listener interface's adapter
     * @param listener the listener, held until the connection is closed
     * @return the connection: closing it calls Unadvise (closing again does nothing)
     * @throws MivraException when the object has no connection point for the interface
     */
    public final <L> ListenerHandle addListener(EventAdapter<L> adapter, L listener) {
        Objects.requireNonNull(adapter, "adapter");
        EventSink sink = new EventSink(adapter, adapter.cast(Objects.requireNonNull(listener, "listener")));
        Apartment home = enter();
        long connection = ComLayer.get().advise(pointer(), adapter.getIid(), sink);
        Reference.reachabilityFence(this);
        return new Connection(connection, home, sink);
    }

    /**
     * Connects a listener to the object's events of any source interface,
     * every argument a {@link MivraVariant}.
     *
     * @param iid the source interface's identifier, braced ("{...}")
     * @param listener the listener, held until the connection is closed
     * @return the connection: closing it calls Unadvise (closing again does nothing)
     * @throws MivraException when the object has no connection point for the interface
     */
    public final ListenerHandle addListener(String iid, EventListener listener) {
        return addListener(new AnyEvents(iid), listener);
    }

    /**
     * Chooses what happens to an exception an event listener throws. The server
     * gets {@code DISP_E_EXCEPTION} with the exception's message and goes on;
     * the exception goes to the handler, on the thread of the event.
     *
     * @param handler the handler; null for the default, which prints it to standard error
     */
    public static void setEventExceptionHandler(Consumer<? super Throwable> handler) {
        eventExceptionHandler = handler != null ? handler : PRINT;
    }

    static void eventFailed(Throwable e) {
        try {
            eventExceptionHandler.accept(e);
        } catch (RuntimeException | Error again) {
            PRINT.accept(again);
        }
    }

    private static final class AnyEvents extends EventAdapter<EventListener> {
        AnyEvents(String iid) {
            super(iid, EventListener.class);
        }

        @Override
        protected int[] types(int dispId, int count) {
            int[] types = new int[count];
            java.util.Arrays.fill(types, VT_VARIANT);
            return types;
        }

        @Override
        protected void dispatch(EventListener listener, int dispId, Object[] args) throws Exception {
            MivraVariant[] variants = new MivraVariant[args.length];
            System.arraycopy(args, 0, variants, 0, args.length);
            listener.event(dispId, variants);
        }
    }

    private static final class Connection implements ListenerHandle {
        private final long connection;
        private final Apartment home;
        private final EventSink sink;
        private final AtomicBoolean closed = new AtomicBoolean();

        Connection(long connection, Apartment home, EventSink sink) {
            this.connection = connection;
            this.home = home;
            this.sink = sink;
        }

        @Override
        public void close() {
            if (!closed.compareAndSet(false, true))
                return;
            sink.closed = true;
            home.disconnect(connection);
        }
    }

    /**
     * Releases the reference. Closing again does nothing; any other use of a
     * closed object throws {@link IllegalStateException}.
     */
    @Override
    public void close() {
        cleanable.clean();
    }
}
